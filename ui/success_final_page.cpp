#include "ui/success_final_page.h"

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/check_indicator.h"
#include "ui/label_fit.h"
#include "ui/layout.h"
#include "ui/gtk_text.h"
#include "ui/layout_scale.h"
#include "ui/wizard_access_keys.h"

namespace vxk5 {

SuccessFinalPage::SuccessFinalPage(GtkWidget* layout, GdkPixbuf* banner, const WString& text)
    : MessagePage(layout, banner, text),
      check_(gtk_check_button_new_with_mnemonic(WizardMnemonicLabels().openDescription.c_str())) {
    Add(check_);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check_), TRUE);
    const double scale = Scale();
    ScaleCheckIndicator(check_, scale);  // the box grows with the label's font
    gtk_fixed_put(GTK_FIXED(layout_), check_, Scaled(layout::kCheckBoxX, scale), Scaled(layout::kCheckBoxY, scale));
    FitCheckButtonLabel(check_, Scaled(layout::kCheckBoxX, scale), Scaled(layout::kCheckBoxRightEdge, scale));
}

bool SuccessFinalPage::IsOpenDescriptionChecked() const {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check_)) != FALSE;
}

}  // namespace vxk5
