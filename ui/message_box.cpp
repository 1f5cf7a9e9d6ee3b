#include "ui/message_box.h"

#include <gtk/gtk.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/wizard_access_keys.h"
#include "ui/accessible.h"
#include "ui/gtk_text.h"
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

// The buttons of the style, in GTK's order (No before Yes), labelled from the
// tables: GTK's catalogues have no such labels for some languages.
void AddButtons(GtkDialog* dialog, uint32_t style) {
    if ((style & 0xFF) == 2) {
        const QuestionLabels labels = QuestionMnemonicLabels();
        gtk_dialog_add_button(dialog, labels.no.c_str(), GTK_RESPONSE_NO);
        gtk_dialog_add_button(dialog, labels.yes.c_str(), GTK_RESPONSE_YES);
        gtk_dialog_set_default_response(dialog, GTK_RESPONSE_NO);  // Enter never confirms by accident
    } else {
        gtk_dialog_add_button(dialog, OkMnemonicLabel().c_str(), GTK_RESPONSE_OK);
        gtk_dialog_set_default_response(dialog, GTK_RESPONSE_OK);
    }
}

// GTK names a box by its kind for a screen reader ("Question") from its own
// catalogue, which lacks the word for some languages (Georgian, Armenian):
// the name comes from the tables, in the window's language.
void NameByKind(GtkWidget* dialog, uint32_t style) {
    const GtkMessageType kind = KindOf(style);
    if (kind != GTK_MESSAGE_QUESTION && kind != GTK_MESSAGE_ERROR) return;
    SetAccessibleName(dialog, GtkText(LoadResString(kind == GTK_MESSAGE_QUESTION ? "IDS_BOX_QUESTION" : "IDS_BOX_ERROR")));
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

// GTK belongs to the thread that started the program (static initialisation
// runs on it).
const std::thread::id g_mainThread = std::this_thread::get_id();

// Taken by both sides of a hand-over of a box request: GLib's hand-off of
// the idle call is not visible to race detectors, this lock is.
std::mutex g_handOver;

// A box asked for by another thread (the preparation behind the window):
// shown by the main thread from its loop, the asking thread waiting for the
// answer.
struct BoxRequest {
    BoxRequest(const CInstallerDlg* owner_, const WString& text_, uint32_t style_, const WString& detail_)
        : owner(owner_), text(text_), style(style_), detail(detail_) {}

    const CInstallerDlg* owner;
    const WString& text;
    uint32_t style;
    const WString& detail;
    uint32_t result = MB_RESULT_NONE;
    bool done = false;
    std::mutex lock;
    std::condition_variable answered;

    static gboolean Show(gpointer self) {
        auto* request = static_cast<BoxRequest*>(self);
        { const std::lock_guard<std::mutex> received(g_handOver); }  // the hand-over, below
        const uint32_t result = MessageBox(request->owner, request->text, request->style, request->detail);
        // Told under the lock: the asking thread may end the request as soon as
        // it sees the answer, so nothing of it is touched after the unlock.
        const std::lock_guard<std::mutex> guard(request->lock);
        request->result = result;
        request->done = true;
        request->answered.notify_one();
        return FALSE;
    }
};

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
    if (std::this_thread::get_id() != g_mainThread) {
        BoxRequest request(owner, text, style, detail);
        { const std::lock_guard<std::mutex> published(g_handOver); }
        gdk_threads_add_idle(BoxRequest::Show, &request);  // with the GDK lock, as GTK expects
        std::unique_lock<std::mutex> guard(request.lock);
        request.answered.wait(guard, [&] { return request.done; });
        return request.result;
    }
    // A box the wizard does not own can end up behind it, and the modal
    // wizard then looks frozen while the box waits unseen.
    GtkWindow* parent = OwnerWindow(owner);
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, KindOf(style), GTK_BUTTONS_NONE, "%s",
                                               GtkText(text).c_str());
    AddButtons(GTK_DIALOG(dialog), style);
    NameByKind(dialog, style);
    gtk_window_set_position(GTK_WINDOW(dialog),
                            parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    if (owner != nullptr) gtk_window_set_title(GTK_WINDOW(dialog), GtkText(owner->GetTitle()).c_str());
    if (!detail.empty()) {
        // Valid UTF-8 whatever the path's bytes: GTK shows nothing at all otherwise.
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", GtkText(detail).c_str());
    }
    const uint32_t result = ResultOf(RunModalDialog(GTK_DIALOG(dialog)));
    gtk_widget_destroy(dialog);
    return result;
}

}  // namespace vxk5
