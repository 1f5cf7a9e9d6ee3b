#include "ui/wizard_page.h"

#include "ui/layout.h"

namespace vxk5 {

namespace {

// The page text label: no text yet, wrapped, aligned top left.
GtkWidget* CreateTextLabel(GtkWidget* fixed) {
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_widget_set_size_request(label, layout::kPageText.width, layout::kPageText.height);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    gtk_fixed_put(GTK_FIXED(fixed), label, layout::kPageText.x, layout::kPageText.y);
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
    gtk_fixed_put(GTK_FIXED(layout_), widget, x, y);
    return Add(widget);
}

}  // namespace vxk5
