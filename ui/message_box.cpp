#include "ui/message_box.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "base/conversion.h"
#include "ui/installer_dlg.h"
#include "ui/modal_dialog.h"

namespace {

GtkMessageType KindOf(uint32_t style) {
    switch (style >> 24) {
        case 1: return GTK_MESSAGE_ERROR;
        case 2: return GTK_MESSAGE_QUESTION;
        default: return GTK_MESSAGE_OTHER;
    }
}

GtkButtonsType ButtonsOf(uint32_t style) {
    return (style & 0xFF) == 2 ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK;
}

uint32_t ResultOf(gint response) {
    switch (response) {
        case GTK_RESPONSE_NO: return MB_RESULT_NO;
        case GTK_RESPONSE_YES: return MB_RESULT_YES;
        case GTK_RESPONSE_OK: return MB_RESULT_OK;
        default: return MB_RESULT_NONE;  // closed, cancelled, or anything else
    }
}

}  // namespace

uint32_t MessageBox(const CInstallerDlg* owner, const WString& text, uint32_t style) {
    const AString bytes = ToMultiByte(text);
    if (gdk_display_get_default() == nullptr) {  // no display: one line on standard error
        std::fprintf(stderr, "%s\n", bytes.c_str());
        std::fflush(stderr);
        return MB_RESULT_OK;
    }
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, KindOf(style), ButtonsOf(style), "%s", bytes.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);  // over the centred wizard
    if (owner != nullptr) gtk_window_set_title(GTK_WINDOW(dialog), ToMultiByte(owner->GetTitle()).c_str());
    const uint32_t result = ResultOf(RunModalDialog(GTK_DIALOG(dialog)));
    gtk_widget_destroy(dialog);
    return result;
}
