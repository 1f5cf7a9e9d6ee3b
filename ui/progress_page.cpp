#include "ui/progress_page.h"

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/layout.h"
#include "ui/gtk_text.h"
#include "ui/accessible.h"

namespace vxk5 {

ProgressPage::ProgressPage(GtkWidget* fixed)
    : WizardDialogPage(fixed),
      label_(Put(gtk_label_new(nullptr), layout::kProgressTextX, layout::kProgressTextY)),
      bar_(gtk_progress_bar_new()),
      startText_(GtkText(LoadResString("IDS_PROGRESS_START"))),
      finishText_(GtkText(LoadResString("IDS_INSTALL_FINISH"))) {
    gtk_widget_set_size_request(bar_, layout::kProgressBar.width, layout::kProgressBar.height);
    Put(bar_, layout::kProgressBar.x, layout::kProgressBar.y);
    SetProgress(0);
    // While copying, no button can be used: the bar holds the focus, so that a
    // screen reader announces it and follows its value; the line above it
    // names it.
    gtk_widget_set_can_focus(bar_, TRUE);
    SetAccessibleName(bar_, GtkText(LoadResString("IDS_TITLE_INSTALLER")));
    RelateLabel(label_, bar_);
}

void ProgressPage::Activate() {
    gtk_widget_grab_focus(bar_);
}

void ProgressPage::SetProgress(uint32_t percent) {
    gtk_label_set_text(GTK_LABEL(label_), percent == 100 ? finishText_.c_str() : startText_.c_str());
    double fraction = percent / 100.0;
    if (fraction > 1.0) fraction = 1.0;  // GTK refuses fractions outside 0..1
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), fraction);
}

}  // namespace vxk5
