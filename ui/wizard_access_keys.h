#pragma once
// The wizard's access keys in the current language: Back, Next, Finish,
// Cancel, the directory caption (which focuses the entry) and the success
// page's check box each get a key of their own, so that no two controls on a
// page share one, whichever page shows them together.

#include <set>
#include <string>

#include <glib.h>

namespace vxk5 {

struct WizardLabels {
    std::string back;
    std::string next;
    std::string finish;
    std::string cancel;
    std::string caption;
    std::string openDescription;
};

// GTK mnemonic labels (ui/access_keys.h) of the wizard's controls.
WizardLabels WizardMnemonicLabels();

// The folder chooser's Select and Cancel buttons, avoiding the keys the
// chooser's own controls take (`chooserKeys`, lower case).
struct ChooserLabels {
    std::string select;
    std::string cancel;
};
ChooserLabels ChooserMnemonicLabels(std::set<gunichar> chooserKeys);

// A message box's buttons: No and Yes, or OK alone.
struct QuestionLabels {
    std::string no;
    std::string yes;
};
QuestionLabels QuestionMnemonicLabels();
std::string OkMnemonicLabel();

}  // namespace vxk5
