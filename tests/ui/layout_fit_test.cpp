// Every language's texts fit the layout at the design font, at a 14-point font
// and at 144 dots per inch, measured from the widgets (layout_check.h): on
// every page no label's text reaches outside its own widget, into another
// control or into another label's text, no control overlaps another, nothing
// comes near the window's border, and a button's text is never drawn below the
// smallest size. And every text is drawn: the installed fonts have a glyph for
// each of its characters (Chinese needs a CJK font), so the measurements are
// of real glyphs, not boxes. layout_sweep_test.cpp goes through many more
// fonts and resolutions with fewer languages.

#include <cmath>

#include "layout_check.h"
#include "ui/layout.h"
#include "ui/layout_scale.h"
#include "ui/message_page.h"

using namespace vxk5;

namespace {

struct Size {
    const char* name;
    const char* font;
    int dpi;
    double scale;
};

// Named in test listings by its name alone.
void PrintTo(const Size& size, std::ostream* out) { *out << size.name; }

class LayoutFit : public PageWalkTest, public ::testing::WithParamInterface<Size> {
protected:
    void SetUp() override {
        PageWalkTest::SetUp();
        if (!g_haveDisplay) return;
        UseFontAndResolution(GetParam().font, GetParam().dpi);
    }
    void TearDown() override {
        PageWalkTest::TearDown();
        if (g_haveDisplay) UseFontAndResolution("Sans 10", 96);
    }
};

TEST_P(LayoutFit, EveryPageOfEveryLanguageFits) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        WalkPages(LanguageCode(id), [this](CInstallerDlg& dialog, const std::string& page) {
            EXPECT_NEAR(dialog.LayoutScale(), GetParam().scale, 1e-9);
            CheckPage(dialog, page);
        });
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
    EXPECT_EQ(next.x, Scaled(layout::kNextButton, scale).x);
    EXPECT_EQ(next.y, Scaled(layout::kNextButton, scale).y);
    EXPECT_EQ(next.height, Scaled(layout::kNextButton, scale).height);
    GtkWidget* banner = dialog_->WelcomePage()->Widgets().front();
    GdkPixbuf* picture = gtk_image_get_pixbuf(GTK_IMAGE(banner));
    EXPECT_EQ(gdk_pixbuf_get_width(picture), Scaled(158, scale));
    EXPECT_EQ(gdk_pixbuf_get_height(picture), Scaled(286, scale));
    const Rect text = AllocationOf(dialog_->WelcomePage()->Label());
    EXPECT_EQ(text.x, Scaled(layout::kPageText, scale).x);
    EXPECT_EQ(text.width, Scaled(layout::kPageText, scale).width);
    gtk_window_resize(GTK_WINDOW(dialog_->Window()), 900, 700);
    Pump();
    EXPECT_EQ(AllocationOf(dialog_->Window()).width, window.width) << "the window keeps its size";
}

INSTANTIATE_TEST_SUITE_P(Sizes, LayoutFit,
                         ::testing::Values(Size{"DesignFont", "Sans 10", 96, 1.0}, Size{"Sans14", "Sans 14", 96, 1.4},
                                           Size{"Dpi144", "Sans 10", 144, 1.5}),
                         [](const ::testing::TestParamInfo<Size>& size) { return std::string(size.param.name); });

}  // namespace
