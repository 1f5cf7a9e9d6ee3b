#pragma once
// The system's two text types and the operations shared by every layer.
// WString holds UTF-16 units (paths, keys, messages); AString holds bytes in the
// process locale's multibyte encoding and appears only at the platform boundary.

#include <cstdint>

#include "base/basic_string.h"

namespace vxk5 {

using WString = BasicString<char16_t, 12, 4>;  // 11 inline units, 64-bit count = 4 units
using AString = BasicString<char, 24, 8>;      // 23 inline bytes, 64-bit count = 8 bytes

static_assert(sizeof(WString) == 32 && sizeof(AString) == 32, "tag + 24-byte storage");

// The path without its last component and the slashes before it: "/a//b"
// gives "/a", "/a" gives "/", and a path without a "/" the empty text.
// (WString, AString or std::string.)
template <typename String>
String ParentPath(const String& path) {
    using Unit = typename String::value_type;
    static constexpr Unit kSlash = '/';
    size_t slash = path.rfind(kSlash);
    if (slash == String::npos) return String();
    while (slash > 0 && path[slash - 1] == kSlash) --slash;
    if (slash == 0) return String(&kSlash, 1);
    return path.substr(0, slash);
}

// Replaces every non-overlapping occurrence of `find`, left to right; returns the count.
size_t ReplaceAll(WString& text, const WString& find, const WString& replacement);

// `value` in `radix`; negative values get a "-" in radix 10 only, otherwise the
// bits are read as an unsigned 32-bit number. Digits above 9 are lower case.
WString IntToWString(int32_t value, int radix);

// Case-insensitive ordering of the two texts' multibyte forms (strcasecmp).
int CompareNoCase(const WString& a, const WString& b);

// A hash of the text under which texts that CompareNoCase finds equal hash
// alike: the multibyte form up to its first 0 byte, each byte as strcasecmp
// sees it.
uint64_t NoCaseHash(const WString& text);

}  // namespace vxk5
