#include "ui/progress_page.h"

#include "base/conversion.h"
#include "lang/messages.h"

ProgressPage::ProgressPage(GtkWidget* layout, int barWidth)
    : WizardDialogPage(layout),
      label_(Put(gtk_label_new(nullptr), 10, 130)),
      bar_(gtk_progress_bar_new()),
      startText_(ToMultiByte(LoadResString("IDS_PROGRESS_START"))),
      finishText_(ToMultiByte(LoadResString("IDS_INSTALL_FINISH"))) {
    gtk_widget_set_size_request(bar_, barWidth, 20);
    Put(bar_, 10, 150);
    SetProgress(0);
}

void ProgressPage::SetProgress(uint32_t percent) {
    gtk_label_set_text(GTK_LABEL(label_), percent == 100 ? finishText_.c_str() : startText_.c_str());
    double fraction = percent / 100.0;
    if (fraction > 1.0) fraction = 1.0;  // GTK refuses fractions outside 0..1
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), fraction);
}
