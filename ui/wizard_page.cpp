#include "ui/wizard_page.h"

#include "ui/layout.h"
#include "ui/layout_scale.h"

namespace vxk5 {

namespace {

// The page text label: no text yet, wrapped within its box, aligned top left.
GtkWidget* CreateTextLabel(GtkWidget* fixed) {
    const layout::Box box = Scaled(layout::kPageText, LayoutScaleOf(fixed));
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_widget_set_size_request(label, box.width, box.height);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    gtk_fixed_put(GTK_FIXED(fixed), label, box.x, box.y);
    return label;
}

}  // namespace

void WizardDialogPage::ShowWidgets() const {
    for (GtkWidget* widget : widgets_) gtk_widget_show(widget);
}

void WizardDialogPage::HideWidgets() const {
    for (GtkWidget* widget : widgets_) gtk_widget_hide(widget);
}

void WizardDialogPage::AddBanner(GdkPixbuf* banner) {
    GtkWidget* image = Add(gtk_image_new_from_pixbuf(banner));  // the image adds its own ref
    gtk_container_add(GTK_CONTAINER(layout_), image);          // GtkFixed puts it at (0, 0)
}

GtkWidget* WizardDialogPage::AddTextLabel() {
    return Add(CreateTextLabel(layout_));
}

GtkWidget* WizardDialogPage::Put(GtkWidget* widget, int x, int y) {
    gtk_fixed_put(GTK_FIXED(layout_), widget, Scaled(x, Scale()), Scaled(y, Scale()));
    return Add(widget);
}

GtkWidget* WizardDialogPage::Put(GtkWidget* widget, const layout::Box& box) {
    const layout::Box scaled = Scaled(box, Scale());
    gtk_widget_set_size_request(widget, scaled.width, scaled.height);
    gtk_fixed_put(GTK_FIXED(layout_), widget, scaled.x, scaled.y);
    return Add(widget);
}

double WizardDialogPage::Scale() const {
    return LayoutScaleOf(layout_);
}

}  // namespace vxk5
