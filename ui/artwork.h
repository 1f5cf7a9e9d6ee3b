#pragma once

namespace vxk5 {

// The two pictures built into the program, as XPM data (two characters per
// pixel). They are made by ui/art/make_art.py.

// 256 x 256, one colour transparent.
extern const char* const kIconXpm[];
// 158 x 286.
extern const char* const kBannerXpm[];

}  // namespace vxk5
