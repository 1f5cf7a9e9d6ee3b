#include "gui_test_support.h"

#include <gdk/gdkx.h>

#include <cstdlib>

bool g_haveDisplay = false;

void UseFontAndResolution(const char* font, int dpi) {
    g_object_set(gtk_settings_get_default(), "gtk-font-name", font, "gtk-xft-dpi", dpi * 1024, nullptr);
    Pump();
}

void Pump() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

ScopedTimeout::ScopedTimeout(guint milliseconds, GSourceFunc function, gpointer data)
    : source_(g_timeout_source_new(milliseconds)) {
    g_source_set_callback(source_, function, data, nullptr);
    g_source_attach(source_, nullptr);
}

ScopedTimeout::~ScopedTimeout() {
    g_source_destroy(source_);  // nothing when it has already finished
    g_source_unref(source_);
}

DialogAnswerer::DialogAnswerer(gint response) : response_(response) {
    source_ = g_timeout_add(10, Poll, this);
}

DialogAnswerer::~DialogAnswerer() {
    if (source_ != 0) g_source_remove(source_);
}

GtkWidget* MappedMessageDialog() {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* item = windows; item != nullptr; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (GTK_IS_MESSAGE_DIALOG(widget) && gtk_widget_get_mapped(widget)) found = widget;
    }
    g_list_free(windows);
    return found;
}

gboolean DialogAnswerer::Poll(gpointer self) {
    auto* answerer = static_cast<DialogAnswerer*>(self);
    GtkWidget* found = MappedMessageDialog();
    if (found == nullptr) return TRUE;  // not up yet

    gchar* text = nullptr;
    gchar* secondary = nullptr;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    GtkWindowPosition position = GTK_WIN_POS_NONE;
    g_object_get(found, "text", &text, "secondary-text", &secondary, "message-type", &type, "window-position",
                 &position, nullptr);
    answerer->text_ = text != nullptr ? text : "";
    answerer->secondary_ = secondary != nullptr ? secondary : "";
    g_free(text);
    g_free(secondary);
    answerer->parent_ = gtk_window_get_transient_for(GTK_WINDOW(found));
    answerer->position_ = position;
    const gchar* title = gtk_window_get_title(GTK_WINDOW(found));
    answerer->title_ = title != nullptr ? title : "";
    answerer->type_ = type;
    GtkDialog* dialog = GTK_DIALOG(found);
    answerer->hasYes_ = gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_YES) != nullptr;
    answerer->hasNo_ = gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_NO) != nullptr;
    answerer->hasOk_ = gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_OK) != nullptr;
    answerer->answered_ = true;
    answerer->source_ = 0;
    gtk_dialog_response(dialog, answerer->response_);
    return FALSE;
}

namespace {

void SendEvent(GtkWidget* window, GdkEvent* event) {
    gtk_main_do_event(event);
    gdk_event_free(event);  // drops the window reference taken below
    (void)window;
}

}  // namespace

void SendKey(GtkWidget* window, guint keyval) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    // Key bindings (an entry's Enter, for one) look the key up by its code.
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count) && count > 0) {
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        event->key.group = static_cast<guint8>(keys[0].group);
    }
    g_free(keys);
    SendEvent(window, event);
}

void SendDelete(GtkWidget* window) {
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->any.send_event = TRUE;
    SendEvent(window, event);
}

int CountMessageDialogs() {
    GList* windows = gtk_window_list_toplevels();
    int count = 0;
    for (GList* item = windows; item != nullptr; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (GTK_IS_MESSAGE_DIALOG(widget) && gtk_widget_get_mapped(widget)) ++count;
    }
    g_list_free(windows);
    return count;
}

std::string LabelText(GtkWidget* label) {
    const gchar* text = gtk_label_get_text(GTK_LABEL(label));
    return text != nullptr ? text : "";
}

std::string ButtonLabel(GtkWidget* button) {
    // As shown: without the underscore that marks the access key.
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
    if (label != nullptr && GTK_IS_LABEL(label)) return LabelText(label);
    const gchar* text = gtk_button_get_label(GTK_BUTTON(button));
    return text != nullptr ? text : "";
}

bool IsShown(GtkWidget* widget) {
    return gtk_widget_get_visible(widget) != FALSE;
}

bool IsSensitive(GtkWidget* widget) {
    return gtk_widget_get_sensitive(widget) != FALSE;
}

unsigned long WindowXid(GtkWidget* widget) {
    return GDK_WINDOW_XID(gtk_widget_get_window(widget));
}
