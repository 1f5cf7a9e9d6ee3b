#include "ui/message_box.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "base/conversion.h"
#include "ui/installer_dlg.h"
#include "ui/modal_dialog.h"

namespace vxk5 {

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

// The window a dialog of `owner` belongs to: the wizard while it exists, else
// none (before the window is built and after it is gone).
GtkWindow* OwnerWindow(const CInstallerDlg* owner) {
    if (owner == nullptr || owner->Window() == nullptr) return nullptr;
    return GTK_WINDOW(owner->Window());
}

}  // namespace

uint32_t MessageBox(const CInstallerDlg* owner, const WString& text, uint32_t style) {
    return MessageBox(owner, text, style, WString());
}

uint32_t MessageBox(const CInstallerDlg* owner, const WString& text, uint32_t style, const WString& detail) {
    const AString bytes = ToMultiByte(text);
    const AString detailBytes = ToMultiByte(detail);
    if (gdk_display_get_default() == nullptr) {  // no display: one line on standard error
        std::fprintf(stderr, "%s\n", bytes.c_str());
        if (!detailBytes.empty()) std::fprintf(stderr, "%s\n", detailBytes.c_str());
        std::fflush(stderr);
        return MB_RESULT_OK;
    }
    // A box the wizard does not own can end up behind it, and the modal
    // wizard then looks frozen while the box waits unseen.
    GtkWindow* parent = OwnerWindow(owner);
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, KindOf(style), ButtonsOf(style), "%s", bytes.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog),
                            parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    if (owner != nullptr) gtk_window_set_title(GTK_WINDOW(dialog), ToMultiByte(owner->GetTitle()).c_str());
    if (!detailBytes.empty()) {
        // A path need not be valid UTF-8; GTK shows nothing at all for such text.
        gchar* shown = g_utf8_make_valid(detailBytes.c_str(), -1);
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", shown);
        g_free(shown);
    }
    const uint32_t result = ResultOf(RunModalDialog(GTK_DIALOG(dialog)));
    gtk_widget_destroy(dialog);
    return result;
}

}  // namespace vxk5
