#pragma once
// MessagePage: the banner on the left and one wrapped text (the welcome and
// the error page; the success page builds on it).

#include "base/wstring.h"
#include "ui/wizard_page.h"

namespace vxk5 {

class MessagePage : public WizardDialogPage {
public:
    MessagePage(GtkWidget* layout, GdkPixbuf* banner, const WString& text);

    void SetText(const WString& text);
    GtkWidget* Label() const { return label_; }

private:
    GtkWidget* label_ = nullptr;
};

}  // namespace vxk5
