// The layout holds at every font and resolution a desktop may set, not only at
// the sizes the wizard was drawn for: fonts from 8 to 20 points at 72 to 192
// dots per inch, each page in languages with long words (German, French,
// Russian), another script (Armenian), CJK text (Chinese) and English. Odd
// scales are the point: a layout scaled by 1.4583 rounds differently from one
// scaled by 1.4.

#include <string>
#include <vector>

#include "layout_check.h"
#include "ui/layout.h"
#include "ui/layout_scale.h"

using namespace vxk5;

namespace {

// The fixed layout scaled by every scale from 1 to 4 in small steps (Xvfb's
// own "100 dpi" is 100.04, a scale of 1.4589 for a 14-point font): boxes that
// are apart or meet in the design never overlap on screen, and every box but
// the banner keeps a margin from the window's border.
TEST(ScaledLayout, KeepsBoxesApartAndOffTheBorderAtAnyScale) {
    const layout::Box boxes[] = {layout::kSeparator,      layout::kBackButton,     layout::kNextButton,
                                 layout::kCancelButton,   layout::kPageText,       layout::kDirectoryEntry,
                                 layout::kBrowseButton,   layout::kProgressBar};
    const auto overlap = [](const layout::Box& a, const layout::Box& b) {
        return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
    };
    for (int step = 0; step <= 30000; ++step) {
        const double scale = 1.0 + step / 10000.0;
        const int width = Scaled(layout::kWindowWidth, scale);
        const int height = Scaled(layout::kWindowHeight, scale);
        const int margin = Scaled(layout::kMargin, scale) - 1;
        for (const layout::Box& design : boxes) {
            const layout::Box box = Scaled(design, scale);
            ASSERT_TRUE(box.x >= margin && box.y >= margin && box.x + box.width <= width - margin &&
                        box.y + box.height <= height - margin)
                << "scale " << scale << ": " << design.x << "," << design.y;
            for (const layout::Box& other : boxes) {
                if (&other == &design || overlap(design, other)) continue;
                ASSERT_FALSE(overlap(box, Scaled(other, scale)))
                    << "scale " << scale << ": " << design.x << "," << design.y << " and " << other.x << "," << other.y;
            }
        }
    }
}

struct Setting {
    int points;
    int dpi;
};

void PrintTo(const Setting& setting, std::ostream* out) { *out << setting.points << "pt at " << setting.dpi << " dpi"; }

class LayoutSweep : public PageWalkTest, public ::testing::WithParamInterface<Setting> {
protected:
    void SetUp() override {
        PageWalkTest::SetUp();
        if (!g_haveDisplay) return;
        UseFontAndResolution(("Sans " + std::to_string(GetParam().points)).c_str(), GetParam().dpi);
    }
    void TearDown() override {
        PageWalkTest::TearDown();
        if (g_haveDisplay) UseFontAndResolution("Sans 10", 96);
    }
};

TEST_P(LayoutSweep, EveryPageFits) {
    const double scale = ExpectedScale(GetParam().points, GetParam().dpi);
    for (const char* language : {"en", "de", "fr", "ru", "hy", "zh"}) {
        WalkPages(language, [scale](CInstallerDlg& dialog, const std::string& page) {
            EXPECT_NEAR(dialog.LayoutScale(), scale, 1e-9);
            CheckPage(dialog, page);
        });
    }
}

std::vector<Setting> Settings() {
    std::vector<Setting> settings;
    for (int points : {8, 10, 12, 14, 17, 20}) {
        for (int dpi : {72, 96, 100, 120, 144, 192}) settings.push_back({points, dpi});
    }
    return settings;
}

INSTANTIATE_TEST_SUITE_P(FontsAndResolutions, LayoutSweep, ::testing::ValuesIn(Settings()),
                         [](const ::testing::TestParamInfo<Setting>& setting) {
                             return "Sans" + std::to_string(setting.param.points) + "At" + std::to_string(setting.param.dpi) +
                                    "dpi";
                         });

}  // namespace
