#pragma once

namespace vxk5 {

// The wizard window's fixed layout, in pixels from the window's top left: one
// place for the window, its pages and the tests that find or click a widget.

namespace layout {

struct Box {
    int x;
    int y;
    int width;
    int height;
    constexpr int CentreX() const { return x + width / 2; }
    constexpr int CentreY() const { return y + height / 2; }
};

// The window keeps this size: the size hints refuse any other.
inline constexpr int kWindowWidth = 500;
inline constexpr int kWindowHeight = 360;
// The space kept free along the window's left and right edges.
inline constexpr int kMargin = 10;
inline constexpr int kInnerWidth = kWindowWidth - 2 * kMargin;

// The line above the buttons and the three buttons, on every page.
inline constexpr Box kSeparator{kMargin, 310, kInnerWidth, 5};
inline constexpr Box kBackButton{230, 320, 80, 30};
inline constexpr Box kNextButton{310, 320, 80, 30};
inline constexpr Box kCancelButton{410, 320, 80, 30};

// The banner fills the left of a page from (0, 0); the page's text sits right
// of it, wrapped in this box, which keeps the margin from the right edge.
inline constexpr Box kPageText{170, 10, kWindowWidth - kMargin - 170, 250};

// The directory page: a caption, the directory's entry and the browse button.
inline constexpr int kDirectoryCaptionX = 170;
inline constexpr int kDirectoryCaptionY = 255;
inline constexpr Box kDirectoryEntry{170, 275, 280, 30};
inline constexpr Box kBrowseButton{460, 275, 30, 30};

// The copying page: a line of text over a bar across the window.
inline constexpr int kProgressTextX = kMargin;
inline constexpr int kProgressTextY = 130;
inline constexpr Box kProgressBar{kMargin, 150, kInnerWidth, 20};

// The success page's check box; its label may grow up to the right margin.
inline constexpr int kCheckBoxX = 170;
inline constexpr int kCheckBoxY = 170;
inline constexpr int kCheckBoxRightEdge = kWindowWidth - kMargin;

}  // namespace layout

}  // namespace vxk5
