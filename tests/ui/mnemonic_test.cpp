// Access keys on every page in every language: Back, Next (Finish), Cancel and
// the directory caption each have one, and no two controls on screen share
// one, in the wizard or in the folder chooser with GTK's own controls; and
// the chooser's lists in the window's language.

#include <gdk/gdkkeysyms.h>

#include <map>
#include <string>
#include <vector>

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

// The texts of the chooser's lists: their headers and every text of their rows.
void CollectListTexts(GtkWidget* widget, std::vector<std::string>& texts) {
    if (GTK_IS_TREE_VIEW(widget)) {
        GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(widget));
        for (GList* item = columns; item != nullptr; item = item->next) {
            // A column's title is read with its access key: "_Places" shows "Places".
            const gchar* title = gtk_tree_view_column_get_title(GTK_TREE_VIEW_COLUMN(item->data));
            std::string shown;
            for (const char* c = title != nullptr ? title : ""; *c != '\0'; ++c) {
                if (*c != '_') shown += *c;
            }
            texts.push_back(shown);
        }
        g_list_free(columns);
        GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
        GtkTreeIter row;
        for (gboolean more = model != nullptr && gtk_tree_model_get_iter_first(model, &row); more;
             more = gtk_tree_model_iter_next(model, &row)) {
            for (gint column = 0; column < gtk_tree_model_get_n_columns(model); ++column) {
                if (gtk_tree_model_get_column_type(model, column) != G_TYPE_STRING) continue;
                gchar* text = nullptr;
                gtk_tree_model_get(model, &row, column, &text, -1);
                if (text != nullptr) texts.push_back(text);
                g_free(text);
            }
        }
    }
    if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer data) { CollectListTexts(child, *static_cast<std::vector<std::string>*>(data)); },
            &texts);
    }
}

// Checks the folder chooser once it is up, then cancels it.
struct ChooserKeys {
    bool english = false;  // the window's table is English
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
        auto* check = static_cast<ChooserKeys*>(self);
        std::vector<std::string> texts;
        CollectListTexts(chooser, texts);
        for (const std::string& text : texts) {
            for (const char* english : {"Places", "Search", "Recently Used", "File System"}) {
                EXPECT_TRUE(check->english || text != english) << "\"" << text << "\" left in English";
            }
        }
        check->checked = true;
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        return FALSE;
    }
};

// GTK's own controls in the chooser speak the language of GTK's catalogue, or
// of our tables where the catalogue has no word; our buttons avoid their keys.
TEST_F(AccessKeysOnScreen, FolderChooserSpeaksTheLanguageAndSharesNoKey) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        SCOPED_TRACE(LanguageCode(id));
        SetCatalogueLanguage(id);
        Open(false, LanguageCode(id));
        ClickNext();
        ChooserKeys chooser;
        chooser.english = LoadResString("IDS_CHOOSER_PLACES") == u"Places";
        const ScopedTimeout timeout(20, ChooserKeys::Step, &chooser);
        gtk_button_clicked(GTK_BUTTON(dialog_->DirectoryPage()->BrowseButton()));
        EXPECT_TRUE(chooser.checked);
        dialog_.reset();
    }
}

}  // namespace
