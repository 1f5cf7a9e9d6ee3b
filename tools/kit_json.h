#pragma once
// `vxk5-kit list --json`: the kit's records as one JSON document.

#include <ostream>
#include <string>

#include "base/wstring.h"

// UTF-8 of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string Utf8Of(const WString& text);

// Prints {"kit": path, "descriptions": [{"language", "product", "vendor",
// "description"}...], "files": [{"name", "modified", "size", "offset"}...]}
// with names as stored ("\" separators) and times as FormatFileTime gives
// them. False with `error` set when the kit cannot be read.
[[nodiscard]] bool ListKitJson(const std::string& kitPath, std::ostream& out, std::string& error);
