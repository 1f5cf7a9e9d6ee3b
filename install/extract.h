#pragma once
// Writing one kit entry to its destination, and the check that an entry's name
// stays inside the template directory.

#include <cstdint>

#include "base/wstring.h"

struct DistributionKit;

// True when `name` (a relative path with "\" or "/" separators) names a file
// inside the directory it is installed into: not empty, not absolute ("/" or
// "\" first), no drive designator ("C:"), no ".." component, no 0 unit, and
// not ending in a separator, "." or "..".
bool IsSafeEntryName(const WString& name);

// Copies entry `index` from the kit's container to `destination` through the
// kit's copy buffer, ends the file there and gives it the entry's time (whole
// seconds). 0; the open's code; the seek's, read's or write's last error; 13
// when the entry runs past the end of the container; 87 for a kit without a
// copy buffer or an index out of range.
[[nodiscard]] uint32_t ExtractEntry(DistributionKit& kit, size_t index, const WString& destination);
