#pragma once
// Table texts with placeholders: "%1", "%2", ... stand for the arguments, so
// that each language places them, and writes the punctuation around them, as
// its grammar wants.

#include <initializer_list>

#include "base/wstring.h"

namespace vxk5 {

// `text` with each "%N" (N from 1 to 9) replaced by the Nth argument, in one
// pass: an argument that itself holds "%1" stays as it is. "%%" is one "%";
// a "%" before anything else, or a number with no argument, stays as written.
WString FillPlaceholders(const WString& text, std::initializer_list<WString> arguments);

}  // namespace vxk5
