// A test program that starts the installer's window as the installer does
// (command line, locale, GTK's catalogue language, then GTK) and reports what
// the widgets say, one "name value" line each on standard output: the text
// direction of the window, of the cancel question and of the folder chooser,
// the labels of their buttons and of an error box's, the chooser's title and
// starting folder.
//
// Arguments are the installer's. VXK5_PROBE_DIRECTORY is put into the
// directory entry; VXK5_PROBE_KEEP_CATALOGUES=1 leaves GTK's catalogue
// language to the locale (to see that the direction holds on its own).

#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "ui/toolkit_language.h"
#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/dir_select_page.h"
#include "ui/installer_dlg.h"
#include "ui/message_page.h"
#include "ui/message_box.h"
#include "tests/support/kit_parts.h"

using namespace vxk5;

namespace {

void Report(const char* name, const std::string& value) { std::printf("%s %s\n", name, value.c_str()); }

const char* DirectionName(GtkWidget* widget) {
    return gtk_widget_get_direction(widget) == GTK_TEXT_DIR_RTL ? "rtl" : "ltr";
}

void FindLabel(GtkWidget* widget, gpointer found) {
    auto* label = static_cast<GtkWidget**>(found);
    if (*label != nullptr) return;
    if (GTK_IS_LABEL(widget)) {
        *label = widget;
    } else if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(GTK_CONTAINER(widget), FindLabel, found);
    }
}

// What the button shows: the text of the label inside it (a stock button's
// translated label, without its mnemonic mark).
std::string ShownLabel(GtkWidget* button) {
    if (button == nullptr) return "(none)";
    GtkWidget* label = nullptr;
    FindLabel(button, &label);
    return label != nullptr ? gtk_label_get_text(GTK_LABEL(label)) : "(no label)";
}

void Pump() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// The mapped top-level of `type`, or null.
GtkWidget* MappedWindowOf(GType type) {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* item = windows; item != nullptr; item = item->next) {
        if (G_TYPE_CHECK_INSTANCE_TYPE(item->data, type) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
            found = GTK_WIDGET(item->data);
        }
    }
    g_list_free(windows);
    return found;
}

gboolean ReportQuestion(gpointer) {
    GtkWidget* dialog = MappedWindowOf(GTK_TYPE_MESSAGE_DIALOG);
    if (dialog == nullptr) return TRUE;
    Report("question-yes", ShownLabel(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES)));
    Report("question-no", ShownLabel(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO)));
    Report("question-direction", DirectionName(dialog));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
    return FALSE;
}

gboolean ReportErrorBox(gpointer) {
    GtkWidget* dialog = MappedWindowOf(GTK_TYPE_MESSAGE_DIALOG);
    if (dialog == nullptr) return TRUE;
    Report("error-ok", ShownLabel(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK)));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    return FALSE;
}

gboolean ReportChooser(gpointer) {
    GtkWidget* chooser = MappedWindowOf(GTK_TYPE_FILE_CHOOSER_DIALOG);
    if (chooser == nullptr) return TRUE;
    gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
    if (folder == nullptr) return TRUE;  // the folder is set a moment after mapping
    Report("chooser-folder", folder);
    g_free(folder);
    const gchar* title = gtk_window_get_title(GTK_WINDOW(chooser));
    Report("chooser-title", title != nullptr ? title : "(none)");
    Report("chooser-cancel", ShownLabel(gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL)));
    Report("chooser-open", ShownLabel(gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT)));
    Report("chooser-direction", DirectionName(chooser));
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
    return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    gdk_threads_init();
    InitProcessLocale();
    const LaunchOptions options = ParseCommandLine(argc, argv, [] { return std::setlocale(LC_ALL, nullptr); });
    SetCurrentLanguage(options.languageId);
    const char* keep = std::getenv("VXK5_PROBE_KEEP_CATALOGUES");
    if (keep == nullptr || std::string(keep) != "1") PrepareToolkitLanguage(options.languageId);

    CInstallerDlg dialog(argc, argv, false, ToMultiByte(LoadResString("IDR_MAINFRAME")), options.languageCode, false);
    Report("language", ToMultiByte(options.languageCode).c_str());
    if (gdk_display_get_default() == nullptr) {
        Report("display", "none");
        return 2;
    }
    if (const char* directory = std::getenv("VXK5_PROBE_DIRECTORY")) {
        dialog.SetTemplateDirectory(FromMultiByte(AString(directory)));
    }
    // Names outside ASCII, as a kit gives them (UTF-16 in the kit).
    AddKitDescription(dialog.Kit(), {options.languageCode, u"Büro-Desktopvorlagen", u"Müller & Söhne", u""});
    dialog.BuildWindow();
    dialog.ShowWelcomePage();
    Pump();
    Report("window-title", gtk_window_get_title(GTK_WINDOW(dialog.Window())));
    Report("welcome-text", gtk_label_get_text(GTK_LABEL(dialog.WelcomePage()->Label())));
    Report("window-direction", DirectionName(dialog.Window()));
    Report("next-direction", DirectionName(dialog.NextButton()));

    g_timeout_add(10, ReportQuestion, nullptr);
    gtk_button_clicked(GTK_BUTTON(dialog.CancelButton()));
    Pump();

    gtk_button_clicked(GTK_BUTTON(dialog.NextButton()));
    Pump();
    Report("entry-text", gtk_entry_get_text(GTK_ENTRY(dialog.DirectoryPage()->Entry())));
    Report("caption-text", gtk_label_get_text(GTK_LABEL(dialog.DirectoryPage()->CaptionLabel())));
    g_timeout_add(10, ReportChooser, nullptr);
    gtk_button_clicked(GTK_BUTTON(dialog.DirectoryPage()->BrowseButton()));
    Pump();

    g_timeout_add(10, ReportErrorBox, nullptr);
    MessageBox(&dialog, LoadResString("IDS_INSTALL_ERROR"), MB_STYLE_ERROR_OK);
    Pump();
    std::fflush(stdout);
    return 0;
}
