#pragma once
// Keeps translated texts inside the fixed layout: a button label too wide for
// its fixed-size button is drawn a little smaller, and a check box label is
// wrapped before the window's right edge. Nothing is ever cut off.

#include <gtk/gtk.h>

namespace vxk5 {

// Call after the button's label is set and the button is in the window.
void FitButtonLabel(GtkWidget* button);

// Wraps the check button's label when the whole box would pass `rightEdge`
// (window coordinates), the box being put at `x`.
void FitCheckButtonLabel(GtkWidget* check, int x, int rightEdge);

}  // namespace vxk5
