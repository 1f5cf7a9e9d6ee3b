#pragma once
// What assistive technology (a screen reader) reads for the wizard's widgets:
// names where the visible text does not say it, and which label names which
// control. The visible texts stay as they are.

#include <gtk/gtk.h>

#include <string>

namespace vxk5 {

// Sets the widget's accessible name (UTF-8).
void SetAccessibleName(GtkWidget* widget, const std::string& name);

// `label` names `target`: the label's "label for" and the target's "labelled
// by" relations, both ways, each once.
void RelateLabel(GtkWidget* label, GtkWidget* target);

}  // namespace vxk5
