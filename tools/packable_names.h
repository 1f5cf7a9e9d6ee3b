#pragma once
// What create checks of the names it is about to pack: every name must be one
// the installer installs, so that no kit is made that the installer (and
// verify and extract) would refuse.

#include <string>
#include <vector>

#include "base/wstring.h"
#include "kit/distribution_kit.h"

namespace vxk5 {

// The name as it can be shown: bytes that are not text in the locale's
// encoding appear as "\xE9".
std::string ShownName(const WString& name);

// Checks the kit's names as the installer will: false with `error` naming the
// first file (below `sourceDirectory`) whose name it would refuse, and why.
[[nodiscard]] bool CheckPackableNames(const std::vector<KitFileEntry>& entries, const std::string& sourceDirectory,
                                      std::string& error);

}  // namespace vxk5
