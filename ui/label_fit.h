#pragma once
// Keeps translated texts inside the fixed layout: a button label too wide for
// its button is drawn a little smaller, down to kSmallestButtonText of the
// font, and past that the button has to grow; a check box label is wrapped
// before the window's right edge. Nothing is ever cut off.

#include <gtk/gtk.h>

#include <vector>

namespace vxk5 {

// The smallest a button's text is drawn, against the font.
inline constexpr double kSmallestButtonText = 0.85;

// One button of a row: the button (its label set, in the window) and the
// width the layout gives it.
struct RowButton {
    GtkWidget* button;
    int width;
};

// Fits the labels of a row of buttons with one text size for all that are
// shown: the largest at which each fits its width, down to the smallest size.
// A row of mixed sizes looks broken. Returns the widths the buttons need, in
// the row's order: each its own width, or more when even the smallest text
// does not fit. Sets no size.
std::vector<int> FitButtonRow(const std::vector<RowButton>& row);

// Wraps the check button's label when the whole box would pass `rightEdge`
// (window coordinates), the box being put at `x`.
void FitCheckButtonLabel(GtkWidget* check, int x, int rightEdge);

}  // namespace vxk5
