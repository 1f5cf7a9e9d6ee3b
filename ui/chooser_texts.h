#pragma once
// The folder chooser's own texts where GTK's catalogue has none for the
// window's language (Armenian, Azerbaijani, Turkmen: "Places", "Search",
// "Recently Used", "File System" would stay English): supplied from the
// tables, in the places GTK shows them through widgets it lets us reach,
// the sidebar's header and its rows.

#include <gtk/gtk.h>

namespace vxk5 {

// Replaces, inside the freshly made `chooser`, each of those texts that GTK
// left untranslated by the current table's. The sidebar header keeps an
// access key of its own. Call before the chooser's buttons are added.
void SupplyChooserTexts(GtkWidget* chooser);

}  // namespace vxk5
