#include "ui/widget_mnemonics.h"

#include <gdk/gdkkeysyms.h>

namespace vxk5 {

namespace {

void Collect(GtkWidget* widget, gpointer data) {
    auto* keys = static_cast<std::set<gunichar>*>(data);
    if (GTK_IS_LABEL(widget)) {
        const guint keyval = gtk_label_get_mnemonic_keyval(GTK_LABEL(widget));
        const gunichar key = keyval == GDK_VoidSymbol ? 0 : gdk_keyval_to_unicode(gdk_keyval_to_lower(keyval));
        if (key != 0) keys->insert(g_unichar_tolower(key));
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), Collect, data);
}

}  // namespace

std::set<gunichar> MnemonicKeysIn(GtkWidget* root) {
    std::set<gunichar> keys;
    Collect(root, &keys);
    return keys;
}

}  // namespace vxk5
