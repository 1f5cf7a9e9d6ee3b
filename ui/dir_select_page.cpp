#include "ui/dir_select_page.h"

#include <algorithm>

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/chooser_folder.h"
#include "ui/chooser_texts.h"
#include "ui/layout.h"
#include "ui/modal_dialog.h"
#include "ui/widget_mnemonics.h"
#include "ui/wizard_access_keys.h"
#include "ui/gtk_text.h"
#include "ui/accessible.h"

namespace vxk5 {

namespace {

// GTK sizes its folder chooser by the font; with a large font on a small
// screen it outgrows the screen, its buttons out of reach. Once shown, it is
// made to fit the monitor it is on, and put in the middle of it.
void KeepOnMonitor(GtkWidget* chooser, gpointer) {
    GdkScreen* screen = gtk_widget_get_screen(chooser);
    GdkWindow* window = gtk_widget_get_window(chooser);
    if (screen == nullptr || window == nullptr) return;
    GdkRectangle monitor;
    gdk_screen_get_monitor_geometry(screen, gdk_screen_get_monitor_at_window(screen, window), &monitor);
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(chooser), &width, &height);
    // Room for the window manager's frame.
    const int maxWidth = monitor.width * 9 / 10;
    const int maxHeight = monitor.height * 9 / 10;
    if (width <= maxWidth && height <= maxHeight) return;
    width = std::min(width, maxWidth);
    height = std::min(height, maxHeight);
    gtk_window_resize(GTK_WINDOW(chooser), width, height);
    gtk_window_move(GTK_WINDOW(chooser), monitor.x + (monitor.width - width) / 2,
                    monitor.y + (monitor.height - height) / 2);
}

}  // namespace

DirSelectPage::DirSelectPage(GtkWidget* layout, GdkPixbuf* banner) : WizardDialogPage(layout) {
    AddBanner(banner);
    prompt_ = AddTextLabel();
    gtk_label_set_text(GTK_LABEL(prompt_), GtkText(LoadResString("IDS_DESTINATION_PROMPT")).c_str());
    caption_ = Put(gtk_label_new_with_mnemonic(WizardMnemonicLabels().caption.c_str()),
                   layout::kDirectoryCaptionX, layout::kDirectoryCaptionY);
    entry_ = gtk_entry_new();
    gtk_entry_set_activates_default(GTK_ENTRY(entry_), TRUE);  // Enter is Next, as a click
    Put(entry_, layout::kDirectoryEntry);
    browse_ = gtk_button_new_with_label("...");
    Put(browse_, layout::kBrowseButton);
    g_signal_connect(browse_, "clicked", G_CALLBACK(OnBrowseClicked), this);

    // The caption's access key focuses the entry. For a screen reader: the
    // caption names the entry, and "..." is read as what it does.
    gtk_label_set_mnemonic_widget(GTK_LABEL(caption_), entry_);
    RelateLabel(caption_, entry_);
    SetAccessibleName(entry_, gtk_label_get_text(GTK_LABEL(caption_)));
    SetAccessibleName(browse_, GtkText(LoadResString("IDS_CHOOSEDIR_TITLE")));
}

WString DirSelectPage::GetDirectory() const {
    const gchar* text = gtk_entry_get_text(GTK_ENTRY(entry_));
    if (text == nullptr) return WString();
    return FromGtkText(text);
}

void DirSelectPage::SetDirectory(const WString& directory) {
    gtk_entry_set_text(GTK_ENTRY(entry_), GtkText(directory).c_str());
}

void DirSelectPage::BrowseForFolder() {
    const std::string title = GtkText(LoadResString("IDS_CHOOSEDIR_TITLE"));
    GtkWidget* chooser =
        gtk_file_chooser_dialog_new(title.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
    // The buttons speak the wizard's language from its own tables (GTK's
    // catalogues lack them for some languages, and the wizard's Cancel reads
    // the same everywhere), with access keys the chooser's own do not take.
    SupplyChooserTexts(chooser);
    const ChooserLabels labels = ChooserMnemonicLabels(MnemonicKeysIn(chooser));
    gtk_dialog_add_buttons(GTK_DIALOG(chooser), labels.cancel.c_str(), GTK_RESPONSE_CANCEL, labels.select.c_str(),
                           GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
    GtkWidget* wizard = gtk_widget_get_toplevel(entry_);
    if (gtk_widget_is_toplevel(wizard)) {  // stays with the wizard, over it
        gtk_window_set_transient_for(GTK_WINDOW(chooser), GTK_WINDOW(wizard));
        gtk_window_set_position(GTK_WINDOW(chooser), GTK_WIN_POS_CENTER_ON_PARENT);
    }
    // Opens beside what the entry proposes, even before that folder exists.
    const AString start = ChooserStartFolder(GetDirectory());
    if (!start.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), start.c_str());
    g_signal_connect_after(chooser, "map", G_CALLBACK(KeepOnMonitor), nullptr);
    if (RunModalDialog(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            // The file system's bytes, shown as text.
            SetDirectory(FromMultiByte(AString(folder)));
            g_free(folder);
        }
    }
    gtk_widget_destroy(chooser);
}

void DirSelectPage::Activate() {
    // The user types here; the cursor at the end shows the end of a long path.
    gtk_widget_grab_focus(entry_);
    gtk_editable_set_position(GTK_EDITABLE(entry_), -1);
}

gint DirSelectPage::OnBrowseClicked(GtkWidget*, DirSelectPage* page) {
    page->BrowseForFolder();
    return 0;
}

}  // namespace vxk5
