// Every language's texts fit the layout at the design font, at a 14-point font
// and at 144 dots per inch, measured from the widgets: on every page, no
// label's text reaches outside its own allocation (a button's label outside
// its button), into another control or into another label's text, nothing
// lies outside the window, and a
// button's text is never drawn below the smallest size. And every text is
// drawn: the installed fonts have a glyph for each of its characters (Chinese
// needs a CJK font), so the measurements are of real glyphs, not boxes.

#include <cmath>
#include <functional>
#include <vector>

#include "ui/dir_select_page.h"
#include "ui/label_fit.h"
#include "ui/layout.h"
#include "ui/layout_scale.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"
#include "ui/success_final_page.h"
#include "wizard_fixture.h"
#include "tests/support/kit_parts.h"

using namespace vxk5;

namespace {

struct Rect {
    int x, y, width, height;
    bool Contains(const Rect& r) const {
        return r.x >= x && r.y >= y && r.x + r.width <= x + width && r.y + r.height <= y + height;
    }
    bool Overlaps(const Rect& r) const {
        return r.x < x + width && x < r.x + r.width && r.y < y + height && y < r.y + r.height;
    }
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

Rect AllocationOf(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return {a.x, a.y, a.width, a.height};
}

// Where the label's text is drawn, in the window's coordinates (the layout
// has no window of its own, so these are the allocations' coordinates too).
Rect TextOf(GtkWidget* label) {
    gint x = 0;
    gint y = 0;
    gtk_label_get_layout_offsets(GTK_LABEL(label), &x, &y);
    // Rounded to pixels as GTK rounds a label's size, not outwards.
    PangoRectangle logical;
    pango_layout_get_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &logical);
    return {x + PANGO_PIXELS(logical.x), y + PANGO_PIXELS(logical.y), PANGO_PIXELS(logical.width),
            PANGO_PIXELS(logical.height)};
}

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

std::string What(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) return std::string("label \"") + gtk_label_get_text(GTK_LABEL(widget)) + "\"";
    if (GTK_IS_BUTTON(widget)) return "button \"" + ButtonLabel(widget) + "\"";
    return G_OBJECT_TYPE_NAME(widget);
}

// Checks the page on screen now. `page` names it in failures.
void CheckPage(CInstallerDlg& dialog, const std::string& page) {
    SCOPED_TRACE(page);
    const Rect window = AllocationOf(dialog.Window());
    const double scale = dialog.LayoutScale();
    EXPECT_EQ(window.width, Scaled(layout::kWindowWidth, scale));
    EXPECT_EQ(window.height, Scaled(layout::kWindowHeight, scale));
    std::vector<GtkWidget*> shown;
    GList* children = gtk_container_get_children(GTK_CONTAINER(dialog.Layout()));
    for (GList* item = children; item != nullptr; item = item->next) {
        if (gtk_widget_get_visible(GTK_WIDGET(item->data))) shown.push_back(GTK_WIDGET(item->data));
    }
    g_list_free(children);
    const Rect inside{0, 0, window.width, window.height};
    for (GtkWidget* widget : shown) {
        const Rect area = AllocationOf(widget);
        EXPECT_TRUE(inside.Contains(area)) << What(widget) << " at " << area << " leaves the window";
        GtkWidget* label = GTK_IS_LABEL(widget) ? widget
                           : GTK_IS_BIN(widget) && GTK_IS_LABEL(gtk_bin_get_child(GTK_BIN(widget)))
                               ? gtk_bin_get_child(GTK_BIN(widget))
                               : nullptr;
        if (label == nullptr) continue;
        const Rect text = TextOf(label);
        EXPECT_TRUE(AllocationOf(label).Contains(text))
            << What(widget) << ": text " << text << " outside its allocation " << AllocationOf(label);
        EXPECT_TRUE(area.Contains(text)) << What(widget) << ": text " << text << " outside " << area;
        EXPECT_EQ(pango_layout_get_unknown_glyphs_count(gtk_label_get_layout(GTK_LABEL(label))), 0)
            << What(widget) << " has characters without a glyph";
        if (GTK_IS_BUTTON(widget)) {
            EXPECT_GE(SmallestScale(label), kSmallestButtonText - 1e-9) << What(widget) << " drawn too small";
        }
        // A control is all of its allocation; a label is its text (the page
        // text's box is mostly empty room for longer translations).
        for (GtkWidget* other : shown) {
            if (other == widget) continue;
            const Rect occupied = GTK_IS_LABEL(other) ? TextOf(other) : AllocationOf(other);
            EXPECT_FALSE(text.Overlaps(occupied))
                << What(widget) << ": text " << text << " runs into " << What(other) << " at " << occupied;
        }
    }
}

// Runs the copying phase with the waiting text, then the given end, checking
// the progress page once with each status line.
struct CopyingCheck {
    CInstallerDlg* dialog;
    uint32_t endCode;
    int step = 0;

    static gboolean Step(gpointer self) {
        auto* c = static_cast<CopyingCheck*>(self);
        if (c->dialog->State() != StateCopying) return TRUE;
        switch (c->step++) {
            case 0: return TRUE;  // drawn with the starting text
            case 1:
                CheckPage(*c->dialog, "copying");
                // As the job tells it: the waiting flag, then the text.
                SetJobWaiting(c->dialog->JobState(), true);
                SetJobResult(c->dialog->JobState(), 0, LoadResString("IDS_WAITING_INSTALL"), 0);
                return TRUE;
            case 2:
            case 3: return TRUE;  // the loop shows the waiting text and lays it out
            case 4:
                EXPECT_EQ(LabelText(c->dialog->CopyingPage()->Label()),
                          ToMultiByte(LoadResString("IDS_WAITING_INSTALL")).c_str());
                CheckPage(*c->dialog, "waiting");
                SetJobWaiting(c->dialog->JobState(), false);
                SetJobResult(c->dialog->JobState(), c->endCode, u"failed", c->endCode == 0 ? 100 : 10);
                return FALSE;
        }
        return FALSE;
    }
};

struct Size {
    const char* name;
    const char* font;
    int dpi;
    double scale;
};

// Named in test listings by its name alone.
void PrintTo(const Size& size, std::ostream* out) { *out << size.name; }

class LayoutFit : public WizardTest, public ::testing::WithParamInterface<Size> {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        if (!g_haveDisplay) return;
        UseFontAndResolution(GetParam().font, GetParam().dpi);
    }
    void TearDown() override {
        WizardTest::TearDown();
        if (g_haveDisplay) UseFontAndResolution("Sans 10", 96);
    }
};

TEST_P(LayoutFit, EveryPageOfEveryLanguageFits) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        const char* language = LanguageCode(id);
        SCOPED_TRACE(language);
        Make(false, language);
        AddKitDescription(dialog_->Kit(), {FromMultiByte(AString(language)), u"Office Templates 2026",
                                               u"Example Software Ltd", u"readme.html"});
        dialog_->BuildWindow();
        dialog_->ShowWelcomePage();
        Pump();
        EXPECT_NEAR(dialog_->LayoutScale(), GetParam().scale, 1e-9);
        CheckPage(*dialog_, "welcome");
        ClickNext();
        Pump();
        CheckPage(*dialog_, "directory");

        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        CopyingCheck copying{dialog_.get(), 0};
        const ScopedTimeout timeout1(10, CopyingCheck::Step, &copying);
        ClickNext();
        ASSERT_EQ(dialog_->State(), StateSuccess);
        EXPECT_EQ(copying.step, 5) << "the copying page was checked";
        Pump();
        CheckPage(*dialog_, "success");
        dialog_.reset();

        Open(false, language);
        ClickNext();
        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        CopyingCheck failing{dialog_.get(), 5};
        const ScopedTimeout timeout2(10, CopyingCheck::Step, &failing);
        DialogAnswerer answer(GTK_RESPONSE_OK);
        ClickNext();
        ASSERT_EQ(dialog_->State(), StateError);
        Pump();
        CheckPage(*dialog_, "error");
        dialog_.reset();
    }
}

// At the design font the layout is the design layout to the pixel; larger
// fonts scale all of it, window and banner included.
TEST_P(LayoutFit, LayoutScalesWithTheFont) {
    Open();
    const double scale = GetParam().scale;
    const Rect window = AllocationOf(dialog_->Window());
    EXPECT_EQ(window.width, static_cast<int>(std::lround(500 * scale)));
    EXPECT_EQ(window.height, static_cast<int>(std::lround(360 * scale)));
    const Rect next = AllocationOf(dialog_->NextButton());
    EXPECT_EQ(next.x, Scaled(layout::kNextButton.x, scale));
    EXPECT_EQ(next.y, Scaled(layout::kNextButton.y, scale));
    EXPECT_EQ(next.height, Scaled(layout::kNextButton.height, scale));
    GtkWidget* banner = dialog_->WelcomePage()->Widgets().front();
    GdkPixbuf* picture = gtk_image_get_pixbuf(GTK_IMAGE(banner));
    EXPECT_EQ(gdk_pixbuf_get_width(picture), Scaled(158, scale));
    EXPECT_EQ(gdk_pixbuf_get_height(picture), Scaled(286, scale));
    const Rect text = AllocationOf(dialog_->WelcomePage()->Label());
    EXPECT_EQ(text.x, Scaled(layout::kPageText.x, scale));
    EXPECT_EQ(text.width, Scaled(layout::kPageText.width, scale));
    gtk_window_resize(GTK_WINDOW(dialog_->Window()), 900, 700);
    Pump();
    EXPECT_EQ(AllocationOf(dialog_->Window()).width, window.width) << "the window keeps its size";
}

INSTANTIATE_TEST_SUITE_P(Sizes, LayoutFit,
                         ::testing::Values(Size{"DesignFont", "Sans 10", 96, 1.0}, Size{"Sans14", "Sans 14", 96, 1.4},
                                           Size{"Dpi144", "Sans 10", 144, 1.5}),
                         [](const ::testing::TestParamInfo<Size>& size) { return std::string(size.param.name); });

}  // namespace
