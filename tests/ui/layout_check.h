#pragma once
// Measures a wizard page on screen from its widgets' allocations and the
// labels' laid-out text, and checks that it fits: nothing outside the window,
// no text outside its own widget or into another control, no control over
// another, a margin between everything but the banner and the window's border,
// and no button text drawn below the smallest size.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "wizard_fixture.h"

struct Rect {
    int x, y, width, height;
    bool Contains(const Rect& r) const {
        return r.x >= x && r.y >= y && r.x + r.width <= x + width && r.y + r.height <= y + height;
    }
    bool Overlaps(const Rect& r) const {
        return r.x < x + width && x < r.x + r.width && r.y < y + height && y < r.y + r.height;
    }
};

std::ostream& operator<<(std::ostream& out, const Rect& r);

Rect AllocationOf(GtkWidget* widget);
// Where the label's text is drawn, in the window's coordinates.
Rect TextOf(GtkWidget* label);
// "label "...": or "button "..."", for failure messages.
std::string What(GtkWidget* widget);

// Checks the page on screen now; `page` names it in failures.
void CheckPage(CInstallerDlg& dialog, const std::string& page);

// The layout's scale for a font of `points` at `dpi`, as the wizard works it out.
double ExpectedScale(double points, int dpi);

// A wizard fixture that walks the wizard through all of its pages in one
// language: welcome, directory, copying (with the starting and then the
// waiting text), success; then, in a second window, the error page. Each page
// is handed to `onPage` once it is drawn.
class PageWalkTest : public WizardTest {
public:
    using PageVisitor = std::function<void(CInstallerDlg& dialog, const std::string& page)>;

protected:
    void WalkPages(const char* language, const PageVisitor& onPage);
};
