#include "ui/message_page.h"

#include "base/conversion.h"
#include "ui/gtk_text.h"

namespace vxk5 {

MessagePage::MessagePage(GtkWidget* layout, GdkPixbuf* banner, const WString& text)
    : WizardDialogPage(layout) {
    AddBanner(banner);
    label_ = AddTextLabel();
    SetText(text);
}

void MessagePage::SetText(const WString& text) {
    gtk_label_set_text(GTK_LABEL(label_), GtkText(text).c_str());
}

}  // namespace vxk5
