// vxk5-check-screenshots: checks the screenshots the GUI tests leave in a
// directory. Each "<language>-<what>[@<scale>x].png" must show something (not
// one flat colour) at the size it should have:
//   the wizard's own pages            the window's size (ui/layout.h), scaled
//                                     as the layout is for a larger font
//                                     ("@1.5x": 750 x 540)
//   message boxes, shot from the root the screen's size (--screen WxH)
//   (the uninstall's question among them)
//   the folder chooser                any size, but a window's
// and every language that has any shot at a scale has, at that scale, the
// four every language gets (welcome, cancel question, directory, success).
//
// Usage: vxk5-check-screenshots DIR [--screen WxH]. Prints one line per
// failure and a summary; exits 1 on any failure, also when DIR holds none.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_entries.h"
#include "ui/layout.h"

namespace vxk5 {

namespace {

enum class ShotKind { Window, Screen, Chooser, Unknown };

ShotKind KindOf(const std::string& what) {
    static const char* const kWindow[] = {"1-welcome", "3-directory", "4-progress", "4b-waiting", "5-success",
                                          "7-error", "9-uninstall-progress", "9b-uninstall-end",
                                          "9c-uninstall-in-part"};
    static const char* const kScreen[] = {"2-cancel-question", "3b-unusable-directory", "6-error-box",
                                          "8-uninstall-question"};
    for (const char* name : kWindow) {
        if (what == name) return ShotKind::Window;
    }
    for (const char* name : kScreen) {
        if (what == name) return ShotKind::Screen;
    }
    return what == "3-folder-chooser" ? ShotKind::Chooser : ShotKind::Unknown;
}

// The smallest a folder chooser can sensibly be.
constexpr int kMinimumChooserWidth = 200;
constexpr int kMinimumChooserHeight = 150;
// An image shows something when no one colour covers nearly all of it and it
// has more than a handful of colours (text is drawn antialiased).
constexpr double kMaximumDominantShare = 0.98;
constexpr size_t kMinimumColours = 8;

struct Size {
    int width = 0;
    int height = 0;
};

// Why the image does not show anything, or empty when it does.
std::string Blankness(const GdkPixbuf* image) {
    const int width = gdk_pixbuf_get_width(image);
    const int height = gdk_pixbuf_get_height(image);
    const int channels = gdk_pixbuf_get_n_channels(image);
    const int stride = gdk_pixbuf_get_rowstride(image);
    const guchar* pixels = gdk_pixbuf_read_pixels(image);
    std::unordered_map<uint32_t, size_t> counts;
    for (int y = 0; y < height; ++y) {
        const guchar* row = pixels + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const guchar* p = row + static_cast<ptrdiff_t>(x) * channels;
            ++counts[(uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]];
        }
    }
    size_t dominant = 0;
    for (const auto& entry : counts) dominant = std::max(dominant, entry.second);
    const double share = static_cast<double>(dominant) / (static_cast<double>(width) * height);
    char text[128];
    if (counts.size() < kMinimumColours) {
        std::snprintf(text, sizeof text, "only %zu colours", counts.size());
        return text;
    }
    if (share > kMaximumDominantShare) {
        std::snprintf(text, sizeof text, "one colour covers %.1f %% of it", 100 * share);
        return text;
    }
    return std::string();
}

// Why the shot is wrong, or empty when it is right.
std::string Check(const std::string& path, ShotKind kind, Size screen, double scale) {
    GError* error = nullptr;
    GdkPixbuf* image = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (image == nullptr) {
        const std::string why = std::string("unreadable: ") + (error != nullptr ? error->message : "?");
        if (error != nullptr) g_error_free(error);
        return why;
    }
    const Size size{gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image)};
    std::string why;
    char text[160];
    const Size window{static_cast<int>(std::lround(layout::kWindowWidth * scale)),
                      static_cast<int>(std::lround(layout::kWindowHeight * scale))};
    if (kind == ShotKind::Window && (size.width != window.width || size.height != window.height)) {
        std::snprintf(text, sizeof text, "%d x %d, not the window's %d x %d", size.width, size.height, window.width,
                      window.height);
        why = text;
    } else if (kind == ShotKind::Screen && (size.width != screen.width || size.height != screen.height)) {
        std::snprintf(text, sizeof text, "%d x %d, not the screen's %d x %d", size.width, size.height, screen.width,
                      screen.height);
        why = text;
    } else if (kind == ShotKind::Chooser &&
               (size.width < kMinimumChooserWidth || size.height < kMinimumChooserHeight)) {
        std::snprintf(text, sizeof text, "%d x %d, too small for the folder chooser", size.width, size.height);
        why = text;
    } else if (kind == ShotKind::Unknown) {
        why = "not a shot the tests take";
    } else {
        why = Blankness(image);
    }
    g_object_unref(image);
    return why;
}

// Splits "1-welcome@1.5x" into "1-welcome" and 1.5; false for a malformed scale.
bool SplitScale(std::string& what, double& scale, std::string& suffix) {
    scale = 1.0;
    suffix.clear();
    const size_t at = what.find('@');
    if (at == std::string::npos) return true;
    suffix = what.substr(at);
    const std::string number = what.substr(at + 1);
    what.resize(at);
    char* end = nullptr;
    scale = std::strtod(number.c_str(), &end);
    return end != number.c_str() && std::string(end) == "x" && scale >= 1.0 && scale <= 4.0;
}

bool ParseSize(const char* text, Size& size) {
    return std::sscanf(text, "%dx%d", &size.width, &size.height) == 2 && size.width > 0 && size.height > 0;
}

}  // namespace

}  // namespace vxk5

using namespace vxk5;

int main(int argc, char** argv) {
    Size screen{1024, 768};
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--screen") == 0 && ParseSize(argv[3], screen))) {
        std::fprintf(stderr, "usage: vxk5-check-screenshots DIR [--screen WxH]\n");
        return 2;
    }
    const std::string directory = argv[1];
    std::vector<std::string> entries;
    if (ListDirectory(directory, entries).Failed()) {
        std::fprintf(stderr, "vxk5-check-screenshots: cannot read %s\n", directory.c_str());
        return 1;
    }
    std::vector<std::string> names;
    for (const std::string& name : entries) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());

    int failures = 0;
    std::map<std::string, std::set<std::string>> shotsOf;  // language and scale -> what
    for (const std::string& name : names) {
        const size_t dash = name.find('-');
        const std::string language = dash == std::string::npos ? name : name.substr(0, dash);
        std::string what = dash == std::string::npos ? "" : name.substr(dash + 1, name.size() - dash - 5);
        double scale = 1.0;
        std::string suffix;
        if (!SplitScale(what, scale, suffix)) {
            std::printf("%s: not a scale the layout takes\n", name.c_str());
            ++failures;
            continue;
        }
        shotsOf[language + "|" + suffix].insert(what);
        const std::string why = Check(directory + "/" + name, KindOf(what), screen, scale);
        if (!why.empty()) {
            std::printf("%s: %s\n", name.c_str(), why.c_str());
            ++failures;
        }
    }
    std::set<std::string> languages;
    for (const auto& [key, shots] : shotsOf) {
        const std::string language = key.substr(0, key.find('|'));
        const std::string suffix = key.substr(key.find('|') + 1);
        languages.insert(language);
        for (const char* what : {"1-welcome", "2-cancel-question", "3-directory", "5-success"}) {
            if (shots.count(what) == 0) {
                std::printf("%s-%s%s.png: missing\n", language.c_str(), what, suffix.c_str());
                ++failures;
            }
        }
    }
    if (names.empty()) {
        std::printf("%s: no screenshots\n", directory.c_str());
        ++failures;
    }
    std::printf("%zu screenshots of %zu languages checked, %d %s\n", names.size(), languages.size(), failures,
                failures == 1 ? "failure" : "failures");
    return failures == 0 ? 0 : 1;
}
