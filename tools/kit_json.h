#pragma once
// `vxk5-kit list --json`: the kit's records as one JSON document.

#include <ostream>
#include <string>

#include "base/wstring.h"
#include "kit/minisign.h"
#include "tools/kit_inspect.h"

namespace vxk5 {

// Prints {"kit": path, "descriptions": [{"language", "product", "vendor",
// "description"}...], "files": [{"name", "modified", "size", "offset"}...],
// "signature": {"key_id", "trusted_comment"} of KIT.minisig, unchecked, or
// null when there is none (with "damaged": why, and null fields, when it
// cannot be read as a signature)}
// with names as stored ("\" separators) and times in whole seconds, as
// FormatFileTimeSeconds gives them. False with `error` set when the kit
// cannot be read.
[[nodiscard]] bool ListKitJson(const std::string& kitPath, std::ostream& out, std::string& error);

// `verify --json`: prints {"kit", "ok", "errors": [...], "warnings": [...],
// "signature": {"key_id", "trusted_comment"} when --key checked it or null,
// "integrity": "checked" or "unchecked", "descriptions", "files",
// "data_bytes", "container_bytes"}; a kit that cannot be read gives "ok":
// false with the reason as its one error, and null counts. Returns whether
// the kit passed, with `error` set when it did not. With `progress`, a
// progress line is drawn there while the kit is read.
[[nodiscard]] bool VerifyKitJson(const std::string& kitPath, Warnings strictness, const minisign::PublicKey* key,
                                 std::ostream& out, std::string& error, std::ostream* progress = nullptr);

}  // namespace vxk5
