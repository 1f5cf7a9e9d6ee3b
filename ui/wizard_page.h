#pragma once
// WizardDialogPage: the widgets of one wizard page, placed in the window's
// GtkFixed layout (the layout owns them) and shown or hidden together.

#include <gtk/gtk.h>

#include <vector>

#include "ui/layout.h"

namespace vxk5 {

class WizardDialogPage {
public:
    explicit WizardDialogPage(GtkWidget* layout) : layout_(layout) {}
    virtual ~WizardDialogPage() = default;
    WizardDialogPage(const WizardDialogPage&) = delete;
    WizardDialogPage& operator=(const WizardDialogPage&) = delete;

    // Called each time the page has been shown.
    virtual void Activate() {}

    void ShowWidgets() const;  // in creation order
    void HideWidgets() const;
    const std::vector<GtkWidget*>& Widgets() const { return widgets_; }

protected:
    GtkWidget* Add(GtkWidget* widget) {
        widgets_.push_back(widget);
        return widget;
    }
    // Adds a picture of `banner` to the layout at (0, 0).
    void AddBanner(GdkPixbuf* banner);
    // The wrapped, top-left aligned page text in layout::kPageText.
    GtkWidget* AddTextLabel();
    // Puts `widget` at the design position (x, y), scaled with the layout, and
    // appends it.
    GtkWidget* Put(GtkWidget* widget, int x, int y);
    // The same, also giving it the box's size.
    GtkWidget* Put(GtkWidget* widget, const layout::Box& box);
    // The layout's scale (ui/layout_scale.h).
    double Scale() const;

    GtkWidget* layout_;  // not owned

private:
    std::vector<GtkWidget*> widgets_;  // not owned: the layout holds them
};

}  // namespace vxk5
