#include "ui/check_indicator.h"

#include <set>
#include <string>

#include "ui/layout_scale.h"

namespace vxk5 {

namespace {

// The style for one size, defined once in GTK's resource settings (which
// only grow) and given to a widget by name.
std::string IndicatorStyle(int size, int spacing) {
    static std::set<std::string> defined;  // main thread only, as all of GTK
    const std::string name = "vxk5-check-" + std::to_string(size) + "-" + std::to_string(spacing);
    if (defined.insert(name).second) {
        const std::string rc = "style \"" + name + "\" {\n  GtkCheckButton::indicator-size = " + std::to_string(size) +
                               "\n  GtkCheckButton::indicator-spacing = " + std::to_string(spacing) +
                               "\n}\nwidget \"*." + name + "\" style \"" + name + "\"\n";
        gtk_rc_parse_string(rc.c_str());
    }
    return name;
}

}  // namespace

void ScaleCheckIndicator(GtkWidget* check, double scale) {
    if (scale == 1.0) return;
    gint size = 0;
    gint spacing = 0;
    gtk_widget_ensure_style(check);
    gtk_widget_style_get(check, "indicator-size", &size, "indicator-spacing", &spacing, nullptr);
    gtk_widget_set_name(check, IndicatorStyle(Scaled(size, scale), Scaled(spacing, scale)).c_str());
}

}  // namespace vxk5
