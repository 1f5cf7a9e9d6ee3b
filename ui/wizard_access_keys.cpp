#include "ui/wizard_access_keys.h"

#include <vector>

#include "lang/messages.h"
#include "ui/access_keys.h"

namespace vxk5 {

namespace {

// The text of `key` with the English text as the hint for an added letter.
AccessKeyRequest Request(const char* key) {
    return {LoadResString(key), LoadResStringIn(kLanguageEnglish, key)};
}

}  // namespace

WizardLabels WizardMnemonicLabels() {
    // The buttons choose first, the most used first.
    std::set<gunichar> taken;
    const std::vector<std::string> labels =
        AssignAccessKeys({Request("IDS_WIZARD_NEXT"), Request("IDS_WIZARD_BACK"), Request("IDS_WIZARD_CANCEL"),
                          Request("IDS_WIZARD_FINISH"), Request("IDS_TEMPLATE_CATALOG"), Request("IDS_SUCCESS_OPENDESCR")},
                         taken);
    return {labels[1], labels[0], labels[3], labels[2], labels[4], labels[5]};
}

ChooserLabels ChooserMnemonicLabels(std::set<gunichar> chooserKeys) {
    const std::vector<std::string> labels =
        AssignAccessKeys({Request("IDS_BROWSE_OK"), Request("IDS_WIZARD_CANCEL")}, chooserKeys);
    return {labels[0], labels[1]};
}

QuestionLabels QuestionMnemonicLabels() {
    std::set<gunichar> taken;
    const std::vector<std::string> labels = AssignAccessKeys({Request("IDS_BUTTON_YES"), Request("IDS_BUTTON_NO")}, taken);
    return {labels[1], labels[0]};
}

std::string OkMnemonicLabel() {
    std::set<gunichar> taken;
    return AssignAccessKeys({Request("IDS_BUTTON_OK")}, taken).front();
}

}  // namespace vxk5
