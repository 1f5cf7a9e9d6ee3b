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
    if (scale < 1.0 - 1e-9) pango_attr_list_insert(attributes, pango_attr_scale_new(scale));
    gtk_label_set_attributes(GTK_LABEL(label), attributes);  // the label takes its own ref
    pango_attr_list_unref(attributes);
}

int LabelWidthAt(GtkWidget* label, double scale) {
    SetScale(label, scale);
    const int width = NaturalWidth(label);
    SetScale(label, 1.0);
    return width;
}

GtkWidget* LabelOf(GtkWidget* button) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    return child != nullptr && GTK_IS_LABEL(child) ? child : nullptr;
}

}  // namespace

std::vector<int> FitButtonRow(const std::vector<RowButton>& row) {
    // Smaller in steps of 5 %, never below the smallest size, until every
    // shown label fits.
    double scale = 1.0;
    for (const RowButton& item : row) {
        GtkWidget* label = LabelOf(item.button);
        if (label == nullptr) continue;
        SetScale(label, 1.0);
        if (!gtk_widget_get_visible(item.button)) continue;
        const int room = item.width - ButtonFrameWidth(item.button);
        while (scale > kSmallestButtonText + 1e-9 && LabelWidthAt(label, scale) > room) scale -= 0.05;
    }
    std::vector<int> widths;
    for (const RowButton& item : row) {
        GtkWidget* label = LabelOf(item.button);
        if (label != nullptr) SetScale(label, scale);
        const int needed = label != nullptr ? NaturalWidth(label) + ButtonFrameWidth(item.button) : item.width;
        widths.push_back(needed > item.width ? needed : item.width);
    }
    return widths;
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
