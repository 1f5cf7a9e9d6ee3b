#include "ui/chooser_texts.h"

#include <cstring>
#include <set>
#include <string>

#include "lang/messages.h"
#include "ui/access_keys.h"
#include "ui/gtk_text.h"
#include "ui/widget_mnemonics.h"

namespace vxk5 {

namespace {

struct ChooserText {
    const char* english;  // GTK's text, as its catalogue looks it up
    const char* key;      // ours
};

constexpr ChooserText kRows[] = {
    {"Search", "IDS_CHOOSER_SEARCH"},
    {"Recently Used", "IDS_CHOOSER_RECENT"},
    {"File System", "IDS_CHOOSER_FILESYSTEM"},
};

// GTK shows `english` as it is: its catalogue for the window's language has
// no translation (English needs none).
bool LeftInEnglish(const char* english) {
    const char* catalogue = CatalogueLanguage(GetCurrentLanguage());
    if (catalogue == nullptr || std::strcmp(catalogue, "en") == 0) return false;
    return std::strcmp(g_dgettext("gtk20", english), english) == 0;
}

// One row of a sidebar list: every text column holding an untranslated text.
void SupplyRow(GtkTreeModel* model, GtkTreeIter* row) {
    for (gint column = 0; column < gtk_tree_model_get_n_columns(model); ++column) {
        if (gtk_tree_model_get_column_type(model, column) != G_TYPE_STRING) continue;
        gchar* text = nullptr;
        gtk_tree_model_get(model, row, column, &text, -1);
        for (const ChooserText& known : kRows) {
            if (text != nullptr && std::strcmp(text, known.english) == 0 && LeftInEnglish(known.english)) {
                gtk_list_store_set(GTK_LIST_STORE(model), row, column, GtkText(LoadResString(known.key)).c_str(), -1);
            }
        }
        g_free(text);
    }
}

void OnRowChanged(GtkTreeModel* model, GtkTreePath*, GtkTreeIter* row, gpointer) {
    SupplyRow(model, row);  // our text changes the row once more, and is left alone
}

// The rows there now, and those GTK adds or fills in later (the file system
// appears once the chooser has looked at the volumes).
void SupplyRows(GtkTreeModel* model) {
    if (GTK_IS_TREE_MODEL_FILTER(model)) model = gtk_tree_model_filter_get_model(GTK_TREE_MODEL_FILTER(model));
    if (!GTK_IS_LIST_STORE(model)) return;
    GtkTreeIter row;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &row); more; more = gtk_tree_model_iter_next(model, &row)) {
        SupplyRow(model, &row);
    }
    if (g_object_get_data(G_OBJECT(model), "vxk5-texts") != nullptr) return;
    g_object_set_data(G_OBJECT(model), "vxk5-texts", model);
    g_signal_connect(model, "row-changed", G_CALLBACK(OnRowChanged), nullptr);
}

// The sidebar's header, "_Places" (a column title, read with its access key),
// with an access key no other control takes.
void SupplyHeader(GtkWidget* chooser, GtkTreeViewColumn* column) {
    const gchar* title = gtk_tree_view_column_get_title(column);
    if (title == nullptr || std::strcmp(title, "_Places") != 0 || !LeftInEnglish("_Places")) return;
    gtk_tree_view_column_set_title(column, "");  // its own key is free again
    std::set<gunichar> taken = MnemonicKeysIn(chooser);
    gtk_tree_view_column_set_title(
        column, AssignAccessKeys({{LoadResString("IDS_CHOOSER_PLACES"), u"Places"}}, taken).front().c_str());
}

void Walk(GtkWidget* widget, gpointer chooser) {
    if (GTK_IS_TREE_VIEW(widget)) {
        GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(widget));
        for (GList* item = columns; item != nullptr; item = item->next) {
            SupplyHeader(GTK_WIDGET(chooser), GTK_TREE_VIEW_COLUMN(item->data));
        }
        g_list_free(columns);
        SupplyRows(gtk_tree_view_get_model(GTK_TREE_VIEW(widget)));
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), Walk, chooser);
}

}  // namespace

void SupplyChooserTexts(GtkWidget* chooser) {
    Walk(chooser, chooser);
}

}  // namespace vxk5
