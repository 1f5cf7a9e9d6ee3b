#pragma once
// The box of a check button at the layout's scale. GTK draws it at the
// theme's fixed size (13 pixels by default) whatever the font, so beside a
// large label it would look like a dot.

#include <gtk/gtk.h>

namespace vxk5 {

// Draws the box of `check` and the room beside it `scale` times the theme's
// size; nothing changes at 1.0.
void ScaleCheckIndicator(GtkWidget* check, double scale);

}  // namespace vxk5
