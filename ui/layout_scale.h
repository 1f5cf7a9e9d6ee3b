#pragma once
// The wizard's layout scaled with its font, as dialog units scale a dialog:
// the fixed layout of ui/layout.h holds at the design font (the default
// 10-point font at 96 dots per inch); a larger font or resolution scales every
// position and size, the window's too, by the ratio of the font's pixel
// height to the design font's. A smaller font keeps the design layout.

#include <gtk/gtk.h>

#include "ui/layout.h"

namespace vxk5 {

namespace layout {

// The design font's pixel height: 10 points at 96 dots per inch.
inline constexpr double kDesignFontPixels = 10.0 * 96.0 / 72.0;

}  // namespace layout

// The scale for the font `widget` will be drawn in (its style's font at the
// screen's resolution): 1.0 at the design font or below.
double FontScale(GtkWidget* widget);

// The scale is kept with the window's GtkFixed, where every page finds it.
void SetLayoutScale(GtkWidget* fixed, double scale);
double LayoutScaleOf(GtkWidget* fixed);  // 1.0 when none was set

// Design pixels to screen pixels; exact at 1.0.
int Scaled(int pixels, double scale);
// A box by its scaled edges: its width is Scaled(right) - Scaled(left), which
// may differ by a pixel from Scaled(width).
layout::Box Scaled(const layout::Box& box, double scale);

}  // namespace vxk5
