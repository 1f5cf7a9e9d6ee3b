#pragma once
// Runs modal dialogs so that a termination signal can close the one on screen.
// Main thread only.

#include <gtk/gtk.h>

namespace vxk5 {

// gtk_dialog_run, remembering `dialog` as the dialog on screen meanwhile.
gint RunModalDialog(GtkDialog* dialog);

// Closes the dialog on screen, if any, as if the window manager had closed it
// (GTK_RESPONSE_DELETE_EVENT). Returns whether there was one.
bool CloseModalDialog();

}  // namespace vxk5
