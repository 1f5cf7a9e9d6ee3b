#include "layout_check.h"

#include <algorithm>
#include <vector>

#include "tests/support/kit_parts.h"
#include "ui/dir_select_page.h"
#include "ui/label_fit.h"
#include "ui/layout.h"
#include "ui/layout_scale.h"
#include "ui/progress_page.h"

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

Rect AllocationOf(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return {a.x, a.y, a.width, a.height};
}

Rect TextOf(GtkWidget* label) {
    // The layout has no window of its own, so the offsets are in the
    // allocations' coordinates, the window's.
    gint x = 0;
    gint y = 0;
    gtk_label_get_layout_offsets(GTK_LABEL(label), &x, &y);
    // Rounded to pixels as GTK rounds a label's size, not outwards.
    PangoRectangle logical;
    pango_layout_get_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &logical);
    return {x + PANGO_PIXELS(logical.x), y + PANGO_PIXELS(logical.y), PANGO_PIXELS(logical.width),
            PANGO_PIXELS(logical.height)};
}

std::string What(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) return std::string("label \"") + gtk_label_get_text(GTK_LABEL(widget)) + "\"";
    if (GTK_IS_BUTTON(widget)) return "button \"" + ButtonLabel(widget) + "\"";
    return G_OBJECT_TYPE_NAME(widget);
}

double ExpectedScale(double points, int dpi) {
    const double scale = points * dpi / 72.0 / layout::kDesignFontPixels;
    return scale < 1.0 + 1e-6 ? 1.0 : scale;
}

namespace {

// The smallest scale a label's attributes draw it at (1 without any).
double SmallestScale(GtkWidget* label) {
    double smallest = 1.0;
    PangoAttrList* attributes = gtk_label_get_attributes(GTK_LABEL(label));
    if (attributes == nullptr) return smallest;
    PangoAttrIterator* it = pango_attr_list_get_iterator(attributes);
    do {
        if (const PangoAttribute* a = pango_attr_iterator_get(it, PANGO_ATTR_SCALE)) {
            smallest = std::min(smallest, reinterpret_cast<const PangoAttrFloat*>(a)->value);
        }
    } while (pango_attr_iterator_next(it));
    pango_attr_iterator_destroy(it);
    return smallest;
}

std::vector<GtkWidget*> ShownWidgets(GtkWidget* layout) {
    std::vector<GtkWidget*> shown;
    GList* children = gtk_container_get_children(GTK_CONTAINER(layout));
    for (GList* item = children; item != nullptr; item = item->next) {
        if (gtk_widget_get_visible(GTK_WIDGET(item->data))) shown.push_back(GTK_WIDGET(item->data));
    }
    g_list_free(children);
    return shown;
}

// The label a widget shows: itself, a button's or a check box's, or none.
GtkWidget* LabelOf(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) return widget;
    if (GTK_IS_BIN(widget) && GTK_IS_LABEL(gtk_bin_get_child(GTK_BIN(widget)))) return gtk_bin_get_child(GTK_BIN(widget));
    return nullptr;
}

// What a widget takes of the page: a control all of its allocation, a label
// its text (the page text's box is mostly empty room for longer translations).
Rect Occupied(GtkWidget* widget) {
    return GTK_IS_LABEL(widget) ? TextOf(widget) : AllocationOf(widget);
}

void CheckText(GtkWidget* widget, GtkWidget* label, const std::vector<GtkWidget*>& shown) {
    const Rect text = TextOf(label);
    EXPECT_TRUE(AllocationOf(label).Contains(text))
        << What(widget) << ": text " << text << " outside its allocation " << AllocationOf(label);
    EXPECT_TRUE(AllocationOf(widget).Contains(text)) << What(widget) << ": text " << text << " outside " << AllocationOf(widget);
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(gtk_label_get_layout(GTK_LABEL(label))), 0)
        << What(widget) << " has characters without a glyph";
    if (GTK_IS_BUTTON(widget)) {
        EXPECT_GE(SmallestScale(label), kSmallestButtonText - 1e-9) << What(widget) << " drawn too small";
    }
    for (GtkWidget* other : shown) {
        if (other == widget) continue;
        EXPECT_FALSE(text.Overlaps(Occupied(other)))
            << What(widget) << ": text " << text << " runs into " << What(other) << " at " << Occupied(other);
    }
}

// Controls apart from each other, and everything but the banner (which is
// meant to fill the window's left edge) away from the window's border.
void CheckPlace(GtkWidget* widget, const std::vector<GtkWidget*>& shown, const Rect& inner) {
    if (GTK_IS_IMAGE(widget)) return;
    EXPECT_TRUE(inner.Contains(Occupied(widget)))
        << What(widget) << " at " << Occupied(widget) << " is within the margin of the window's border " << inner;
    if (GTK_IS_LABEL(widget)) return;
    for (GtkWidget* other : shown) {
        if (other == widget || GTK_IS_LABEL(other)) continue;
        EXPECT_FALSE(AllocationOf(widget).Overlaps(AllocationOf(other)))
            << What(widget) << " at " << AllocationOf(widget) << " overlaps " << What(other) << " at "
            << AllocationOf(other);
    }
}

// The shown buttons of the window's bottom row draw their texts at one size.
void CheckButtonRow(CInstallerDlg& dialog) {
    double rowScale = 0;
    for (GtkWidget* button : {dialog.BackButton(), dialog.NextButton(), dialog.CancelButton()}) {
        if (!gtk_widget_get_visible(button)) continue;
        const double scale = SmallestScale(LabelOf(button));
        if (rowScale == 0) rowScale = scale;
        EXPECT_NEAR(scale, rowScale, 1e-9) << What(button) << " drawn at another size than the row";
    }
}

// A check box's box grows with its label's font: not a dot beside large text.
void CheckIndicator(GtkWidget* check) {
    gint size = 0;
    gtk_widget_style_get(check, "indicator-size", &size, nullptr);
    PangoLayout* text = gtk_label_get_layout(GTK_LABEL(LabelOf(check)));
    PangoRectangle line;
    pango_layout_line_get_pixel_extents(pango_layout_get_line_readonly(text, 0), nullptr, &line);
    EXPECT_GE(size, line.height * 0.6) << What(check) << ": a box of " << size << " beside a line of " << line.height;
}

}  // namespace

void CheckPage(CInstallerDlg& dialog, const std::string& page) {
    SCOPED_TRACE(page);
    const Rect window = AllocationOf(dialog.Window());
    const double scale = dialog.LayoutScale();
    EXPECT_EQ(window.width, Scaled(layout::kWindowWidth, scale));
    EXPECT_EQ(window.height, Scaled(layout::kWindowHeight, scale));
    const std::vector<GtkWidget*> shown = ShownWidgets(dialog.Layout());
    const Rect inside{0, 0, window.width, window.height};
    // The margin, less a pixel that the rounding of scaled edges may take.
    const int margin = Scaled(layout::kMargin, scale) - 1;
    const Rect inner{margin, margin, window.width - 2 * margin, window.height - 2 * margin};
    for (GtkWidget* widget : shown) {
        const Rect area = AllocationOf(widget);
        EXPECT_TRUE(inside.Contains(area)) << What(widget) << " at " << area << " leaves the window";
        CheckPlace(widget, shown, inner);
        if (GtkWidget* label = LabelOf(widget)) CheckText(widget, label, shown);
        if (GTK_IS_CHECK_BUTTON(widget)) CheckIndicator(widget);
    }
    CheckButtonRow(dialog);
}

namespace {

// Runs the copying phase with the waiting text, then the given end, handing
// the progress page to the visitor once with each status line.
struct CopyingWalk {
    CInstallerDlg* dialog;
    uint32_t endCode;
    const PageWalkTest::PageVisitor* onPage;
    int step = 0;

    static gboolean Step(gpointer self) {
        auto* c = static_cast<CopyingWalk*>(self);
        if (c->dialog->State() != StateCopying) return TRUE;
        switch (c->step++) {
            case 0: return TRUE;  // drawn with the starting text
            case 1:
                if (c->onPage != nullptr) (*c->onPage)(*c->dialog, "copying");
                // As the job tells it: the waiting flag, then the text.
                SetJobWaiting(c->dialog->JobState(), true);
                SetJobResult(c->dialog->JobState(), 0, LoadResString("IDS_WAITING_INSTALL"), 0);
                return TRUE;
            case 2:
            case 3: return TRUE;  // the loop shows the waiting text and lays it out
            case 4:
                EXPECT_EQ(LabelText(c->dialog->CopyingPage()->Label()),
                          ToMultiByte(LoadResString("IDS_WAITING_INSTALL")).c_str());
                if (c->onPage != nullptr) (*c->onPage)(*c->dialog, "waiting");
                SetJobWaiting(c->dialog->JobState(), false);
                SetJobResult(c->dialog->JobState(), c->endCode, u"failed", c->endCode == 0 ? 100 : 10);
                return FALSE;
        }
        return FALSE;
    }
};

}  // namespace

void PageWalkTest::WalkPages(const char* language, const PageVisitor& onPage) {
    SCOPED_TRACE(language);
    Make(false, language);
    AddKitDescription(dialog_->Kit(), {FromMultiByte(AString(language)), u"Office Templates 2026",
                                       u"Example Software Ltd", u"readme.html"});
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    Pump();
    onPage(*dialog_, "welcome");
    ClickNext();
    Pump();
    onPage(*dialog_, "directory");

    dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
    CopyingWalk copying{dialog_.get(), 0, &onPage};
    const ScopedTimeout timeout1(10, CopyingWalk::Step, &copying);
    ClickNext();
    ASSERT_EQ(dialog_->State(), StateSuccess);
    EXPECT_EQ(copying.step, 5) << "the copying page was seen";
    Pump();
    onPage(*dialog_, "success");
    dialog_.reset();

    Open(false, language);
    ClickNext();
    dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
    CopyingWalk failing{dialog_.get(), 5, nullptr};
    const ScopedTimeout timeout2(10, CopyingWalk::Step, &failing);
    DialogAnswerer answer(GTK_RESPONSE_OK);
    ClickNext();
    ASSERT_EQ(dialog_->State(), StateError);
    Pump();
    onPage(*dialog_, "error");
    dialog_.reset();
}
