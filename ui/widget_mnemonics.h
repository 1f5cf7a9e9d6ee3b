#pragma once
// The access keys that GTK's own widgets of a dialog already take.

#include <gtk/gtk.h>

#include <set>

namespace vxk5 {

// The mnemonic keys (lower-case characters) of every label inside `root`,
// internal children and hidden widgets included: a hidden part of a dialog may
// be shown later (the folder chooser's location entry).
std::set<gunichar> MnemonicKeysIn(GtkWidget* root);

}  // namespace vxk5
