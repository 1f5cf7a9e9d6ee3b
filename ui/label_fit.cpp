#include "ui/label_fit.h"

namespace vxk5 {

namespace {

// What a button's frame takes of its width: the border, the style's
// thickness, the inner border, the focus ring and, for a button that can be
// the default, the default border.
int ButtonFrameWidth(GtkWidget* button) {
    gtk_widget_ensure_style(button);
    GtkBorder* inner = nullptr;
    GtkBorder* defaultBorder = nullptr;
    gint focusWidth = 0;
    gint focusPad = 0;
    gtk_widget_style_get(button, "inner-border", &inner, "default-border", &defaultBorder, "focus-line-width",
                         &focusWidth, "focus-padding", &focusPad, nullptr);
    int width = 2 * static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(button)));
    width += 2 * gtk_widget_get_style(button)->xthickness;
    width += inner != nullptr ? inner->left + inner->right : 2;
    if (gtk_widget_get_can_default(button)) width += defaultBorder != nullptr ? defaultBorder->left + defaultBorder->right : 2;
    width += 2 * (focusWidth + focusPad);
    if (inner != nullptr) gtk_border_free(inner);
    if (defaultBorder != nullptr) gtk_border_free(defaultBorder);
    return width;
}

int NaturalWidth(GtkWidget* widget) {
    GtkRequisition requisition;
    gtk_widget_size_request(widget, &requisition);
    return requisition.width;
}

void SetScale(GtkWidget* label, double scale) {
    PangoAttrList* attributes = pango_attr_list_new();
    if (scale < 1.0) pango_attr_list_insert(attributes, pango_attr_scale_new(scale));
    gtk_label_set_attributes(GTK_LABEL(label), attributes);  // the label takes its own ref
    pango_attr_list_unref(attributes);
}

}  // namespace

int FitButtonLabel(GtkWidget* button, int width) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
    if (label == nullptr || !GTK_IS_LABEL(label)) return width;
    SetScale(label, 1.0);
    const int frame = ButtonFrameWidth(button);
    const int room = width - frame;
    // Smaller in steps of 5 %, never below the smallest size.
    for (int step = 1; NaturalWidth(label) > room && step <= 3; ++step) SetScale(label, 1.0 - 0.05 * step);
    const int needed = NaturalWidth(label) + frame;
    return needed > width ? needed : width;
}

void FitCheckButtonLabel(GtkWidget* check, int x, int rightEdge) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(check));
    if (label == nullptr || !GTK_IS_LABEL(label)) return;
    const int frame = NaturalWidth(check) - NaturalWidth(label);  // indicator, spacing, focus ring
    const int room = rightEdge - x - frame;
    if (NaturalWidth(label) <= room) return;
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, room, -1);
}

}  // namespace vxk5
