#pragma once
// SuccessFinalPage: the success text and a check box, ticked when created,
// that offers to open the kit's description document on Finish.

#include "ui/message_page.h"

namespace vxk5 {

class SuccessFinalPage : public MessagePage {
public:
    SuccessFinalPage(GtkWidget* layout, GdkPixbuf* banner, const WString& text);

    bool IsOpenDescriptionChecked() const;
    GtkWidget* CheckButton() const { return check_; }

private:
    GtkWidget* check_;
};

}  // namespace vxk5
