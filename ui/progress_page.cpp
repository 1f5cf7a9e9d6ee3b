#include "ui/progress_page.h"

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/layout.h"
#include "ui/layout_scale.h"
#include "ui/gtk_text.h"
#include "ui/accessible.h"

namespace vxk5 {

ProgressPage::ProgressPage(GtkWidget* fixed, const ProgressTexts& texts)
    : WizardDialogPage(fixed),
      label_(Put(gtk_label_new(nullptr), layout::kProgressTextX, layout::kProgressTextY)),
      bar_(gtk_progress_bar_new()),
      startText_(GtkText(LoadResString(texts.running))),
      finishText_(GtkText(LoadResString(texts.complete))) {
    // The status line wraps across the bar's width; a text of more lines grows
    // upwards, so that its last line sits where a one-line text does.
    gtk_label_set_line_wrap(GTK_LABEL(label_), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label_), 0.0f, 0.0f);
    gtk_widget_set_size_request(label_, Scaled(layout::kProgressBar, Scale()).width, -1);
    Put(bar_, layout::kProgressBar);
    SetProgress(0);
    // While copying, no button can be used: the bar holds the focus, so that a
    // screen reader announces it and follows its value; the line above it
    // names it.
    gtk_widget_set_can_focus(bar_, TRUE);
    SetAccessibleName(bar_, GtkText(LoadResString(texts.barName)));
    RelateLabel(label_, bar_);
}

void ProgressPage::Activate() {
    gtk_widget_grab_focus(bar_);
}

void ProgressPage::SetStatusText(const std::string& text) {
    if (text == gtk_label_get_text(GTK_LABEL(label_))) return;  // no relayout, no redraw
    gtk_label_set_text(GTK_LABEL(label_), text.c_str());
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label_));
    const int lines = pango_layout_get_line_count(layout);
    int extra = 0;
    if (lines > 1) {
        PangoRectangle first;
        pango_layout_line_get_pixel_extents(pango_layout_get_line_readonly(layout, 0), nullptr, &first);
        int width = 0;
        int height = 0;
        pango_layout_get_pixel_size(layout, &width, &height);
        extra = height - first.height;
    }
    const double scale = Scale();
    gtk_fixed_move(GTK_FIXED(layout_), label_, Scaled(layout::kProgressTextX, scale),
                   Scaled(layout::kProgressTextY, scale) - extra);
}

void ProgressPage::SetProgress(uint32_t percent) {
    SetStatusText(percent == 100 ? finishText_ : startText_);
    double fraction = percent / 100.0;
    if (fraction > 1.0) fraction = 1.0;  // GTK refuses fractions outside 0..1
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), fraction);
}

}  // namespace vxk5
