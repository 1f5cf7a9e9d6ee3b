#pragma once
// Keeps translated texts inside the fixed layout: a button label too wide for
// its button is drawn a little smaller, down to kSmallestButtonText of the
// font, and past that the button has to grow; a check box label is wrapped
// before the window's right edge. Nothing is ever cut off.

#include <gtk/gtk.h>

namespace vxk5 {

// The smallest a button's text is drawn, against the font.
inline constexpr double kSmallestButtonText = 0.85;

// Fits the label of `button` (its label set, the button in the window) into a
// button `width` pixels wide. Returns the width the button needs: `width`, or
// more when even the smallest text does not fit. Sets no size.
int FitButtonLabel(GtkWidget* button, int width);

// Wraps the check button's label when the whole box would pass `rightEdge`
// (window coordinates), the box being put at `x`.
void FitCheckButtonLabel(GtkWidget* check, int x, int rightEdge);

}  // namespace vxk5
