#include "ui/layout_scale.h"

#include <cmath>

namespace vxk5 {

namespace {

constexpr char kScaleKey[] = "vxk5-layout-scale";

// The screen's resolution as fonts are drawn at it (GTK's Xft setting, else
// the screen's own), 96 when unknown.
double Resolution(GtkWidget* widget) {
    GdkScreen* screen = gtk_widget_has_screen(widget) ? gtk_widget_get_screen(widget) : gdk_screen_get_default();
    const double dpi = screen != nullptr ? gdk_screen_get_resolution(screen) : -1.0;
    return dpi > 0 ? dpi : 96.0;
}

}  // namespace

double FontScale(GtkWidget* widget) {
    gtk_widget_ensure_style(widget);
    const PangoFontDescription* font = gtk_widget_get_style(widget)->font_desc;
    if (font == nullptr) return 1.0;
    const double size = static_cast<double>(pango_font_description_get_size(font)) / PANGO_SCALE;
    if (size <= 0) return 1.0;
    const double pixels = pango_font_description_get_size_is_absolute(font) ? size : size * Resolution(widget) / 72.0;
    const double scale = pixels / layout::kDesignFontPixels;
    // Rounding noise of a font given in pixels near the design size is no reason to move anything.
    return scale < 1.0 + 1e-6 ? 1.0 : scale;
}

void SetLayoutScale(GtkWidget* fixed, double scale) {
    auto* stored = static_cast<double*>(g_malloc(sizeof(double)));
    *stored = scale;
    g_object_set_data_full(G_OBJECT(fixed), kScaleKey, stored, g_free);
}

double LayoutScaleOf(GtkWidget* fixed) {
    const auto* stored = static_cast<const double*>(g_object_get_data(G_OBJECT(fixed), kScaleKey));
    return stored != nullptr ? *stored : 1.0;
}

int Scaled(int pixels, double scale) {
    return static_cast<int>(std::lround(pixels * scale));
}

layout::Box Scaled(const layout::Box& box, double scale) {
    // Edges are scaled, not sizes: boxes that meet in the design meet on
    // screen, and a box never reaches past an edge the design keeps it within
    // (rounding a position and a size each up would push it a pixel further).
    const int left = Scaled(box.x, scale);
    const int top = Scaled(box.y, scale);
    return {left, top, Scaled(box.x + box.width, scale) - left, Scaled(box.y + box.height, scale) - top};
}

}  // namespace vxk5
