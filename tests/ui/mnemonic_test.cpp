// Access keys on every page in every language: Back, Next (Finish), Cancel and
// the directory caption each have one, and no two controls on screen share
// one, in the wizard or in the folder chooser with GTK's own controls.

#include <gdk/gdkkeysyms.h>

#include <map>
#include <string>

#include "layout_check.h"
#include "ui/dir_select_page.h"
#include "ui/toolkit_language.h"

using namespace vxk5;

namespace {

// Access key (lower-case keyval) -> the control it belongs to, for every
// label under `root` that is drawn now; a key found twice fails.
void CollectKeys(GtkWidget* widget, std::map<guint, std::string>& keys) {
    if (GTK_IS_LABEL(widget) && gtk_widget_is_drawable(widget)) {
        const guint keyval = gtk_label_get_mnemonic_keyval(GTK_LABEL(widget));
        if (keyval != GDK_VoidSymbol) {
            const std::string text = gtk_label_get_text(GTK_LABEL(widget));
            const auto [it, fresh] = keys.emplace(gdk_keyval_to_lower(keyval), text);
            EXPECT_TRUE(fresh) << "\"" << text << "\" and \"" << it->second << "\" share Alt+"
                               << gdk_keyval_name(keyval);
        }
    }
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* item = children; item != nullptr; item = item->next) CollectKeys(GTK_WIDGET(item->data), keys);
        g_list_free(children);
    }
}

bool HasKey(GtkWidget* widget) {
    GtkWidget* label = GTK_IS_LABEL(widget) ? widget : gtk_bin_get_child(GTK_BIN(widget));
    return GTK_IS_LABEL(label) && gtk_label_get_mnemonic_keyval(GTK_LABEL(label)) != GDK_VoidSymbol;
}

void CheckKeys(CInstallerDlg& dialog, const std::string& page) {
    SCOPED_TRACE(page);
    std::map<guint, std::string> keys;
    CollectKeys(dialog.Window(), keys);
    for (GtkWidget* button : {dialog.BackButton(), dialog.NextButton(), dialog.CancelButton()}) {
        if (gtk_widget_get_visible(button)) {
            EXPECT_TRUE(HasKey(button)) << What(button) << " has no access key";
        }
    }
    if (page != "directory") return;
    GtkWidget* caption = dialog.DirectoryPage()->CaptionLabel();
    ASSERT_TRUE(HasKey(caption)) << What(caption) << " has no access key";
    // Alt with the caption's key takes the keyboard to the entry.
    gtk_widget_grab_focus(dialog.NextButton());
    EXPECT_TRUE(gtk_window_mnemonic_activate(GTK_WINDOW(dialog.Window()),
                                             gtk_label_get_mnemonic_keyval(GTK_LABEL(caption)), GDK_MOD1_MASK));
    EXPECT_TRUE(gtk_widget_has_focus(dialog.DirectoryPage()->Entry()));
}

class AccessKeysOnScreen : public PageWalkTest {
protected:
    void TearDown() override {
        PageWalkTest::TearDown();
        if (g_haveDisplay) SetCatalogueLanguage(kLanguageEnglish);
    }
};

TEST_F(AccessKeysOnScreen, EveryPageOfEveryLanguageHasItsOwnKeys) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) WalkPages(LanguageCode(id), CheckKeys);
}

// Checks the folder chooser once it is up, then cancels it.
struct ChooserKeys {
    bool checked = false;

    static gboolean Step(gpointer self) {
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* chooser = nullptr;
        for (GList* item = windows; item != nullptr; item = item->next) {
            if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
                chooser = GTK_WIDGET(item->data);
            }
        }
        g_list_free(windows);
        if (chooser == nullptr) return TRUE;
        std::map<guint, std::string> keys;
        CollectKeys(chooser, keys);
        for (gint response : {GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL}) {
            GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), response);
            EXPECT_TRUE(button != nullptr && HasKey(button)) << "response " << response;
        }
        static_cast<ChooserKeys*>(self)->checked = true;
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        return FALSE;
    }
};

// GTK's own controls in the chooser speak the language of GTK's catalogue;
// ours avoid their keys.
TEST_F(AccessKeysOnScreen, FolderChooserButtonsTakeNoKeyOfTheChoosersOwn) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        SCOPED_TRACE(LanguageCode(id));
        SetCatalogueLanguage(id);
        Open(false, LanguageCode(id));
        ClickNext();
        ChooserKeys chooser;
        const ScopedTimeout timeout(20, ChooserKeys::Step, &chooser);
        gtk_button_clicked(GTK_BUTTON(dialog_->DirectoryPage()->BrowseButton()));
        EXPECT_TRUE(chooser.checked);
        dialog_.reset();
    }
}

}  // namespace
