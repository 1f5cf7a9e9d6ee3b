#include "ui/modal_dialog.h"

namespace vxk5 {

namespace {

GtkDialog* g_dialogOnScreen = nullptr;  // the innermost running dialog

}  // namespace

gint RunModalDialog(GtkDialog* dialog) {
    GtkDialog* outer = g_dialogOnScreen;
    g_dialogOnScreen = dialog;
    const gint response = gtk_dialog_run(dialog);
    g_dialogOnScreen = outer;
    return response;
}

bool CloseModalDialog() {
    if (g_dialogOnScreen == nullptr) return false;
    gtk_dialog_response(g_dialogOnScreen, GTK_RESPONSE_DELETE_EVENT);
    return true;
}

}  // namespace vxk5
