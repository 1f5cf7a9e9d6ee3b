#pragma once
// Text as GTK takes and gives it: UTF-8, whatever the locale's encoding. The
// file system and the terminal get the locale's bytes (ToMultiByte); every
// label, title, entry and dialog text goes through here instead.

#include <cstring>
#include <string>

#include "base/conversion.h"
#include "base/wstring.h"

namespace vxk5 {

// A unit that stands for an undecodable byte is shown as U+FFFD.
inline std::string GtkText(const WString& text) { return Utf8Of(text); }

inline WString FromGtkText(const char* text) {
    return text == nullptr ? WString() : FromUtf8(text, std::strlen(text));
}

}  // namespace vxk5
