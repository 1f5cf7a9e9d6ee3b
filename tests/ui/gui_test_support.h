#pragma once
// Helpers for in-process tests of the wizard under a display (Xvfb in CI):
// pumping the main loop, answering modal dialogs from inside their loop,
// and synthetic key and close events.

#include <gtk/gtk.h>

#include <string>

#include "tests/support/scoped_env.h"

// Set by the test program's main: whether gtk_init_check found a display.
extern bool g_haveDisplay;

// Handles every pending event.
void Pump();

// Draws every window made from now on in `font` (a Pango font name such as
// "Sans 14") at `dpi` dots per inch, as a desktop's settings would.
void UseFontAndResolution(const char* font, int dpi);

// A main-loop timeout that goes with its owner: a callback whose data lives on
// the stack never runs after the data is gone, whether it has finished (returned
// FALSE) by then or not.
class ScopedTimeout {
public:
    ScopedTimeout(guint milliseconds, GSourceFunc function, gpointer data);
    ~ScopedTimeout();
    ScopedTimeout(const ScopedTimeout&) = delete;
    ScopedTimeout& operator=(const ScopedTimeout&) = delete;

private:
    GSource* source_;  // our reference: valid after the loop has dropped it
};

// Answers the first message dialog that comes up with `response`, from a
// timeout polled inside the dialog's own modal loop. Remembers what it saw.
class DialogAnswerer {
public:
    explicit DialogAnswerer(gint response);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    bool Answered() const { return answered_; }
    const std::string& Text() const { return text_; }
    const std::string& Title() const { return title_; }
    const std::string& Secondary() const { return secondary_; }
    // The window the dialog was transient for, and where it was placed.
    GtkWindow* Parent() const { return parent_; }
    GtkWindowPosition Position() const { return position_; }
    GtkMessageType Type() const { return type_; }
    bool HasYesNo() const { return hasYes_ && hasNo_; }
    bool HasOkOnly() const { return hasOk_ && !hasYes_ && !hasNo_; }

private:
    static gboolean Poll(gpointer self);

    gint response_;
    guint source_ = 0;
    bool answered_ = false;
    std::string text_;
    std::string title_;
    std::string secondary_;
    GtkWindow* parent_ = nullptr;
    GtkWindowPosition position_ = GTK_WIN_POS_NONE;
    GtkMessageType type_ = GTK_MESSAGE_OTHER;
    bool hasYes_ = false;
    bool hasNo_ = false;
    bool hasOk_ = false;
};

// A key press of `keyval` delivered to `window` as GTK would deliver it.
void SendKey(GtkWidget* window, guint keyval);
// A window-manager close request for `window`.
void SendDelete(GtkWidget* window);

// The X window id of a realized widget.
unsigned long WindowXid(GtkWidget* widget);

// Mapped message dialogs on screen now.
int CountMessageDialogs();
// The last mapped message dialog on screen, or null.
GtkWidget* MappedMessageDialog();

std::string LabelText(GtkWidget* label);
std::string ButtonLabel(GtkWidget* button);  // the text shown, without access key marks
bool IsShown(GtkWidget* widget);
bool IsSensitive(GtkWidget* widget);
