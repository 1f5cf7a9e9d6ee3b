#pragma once
// Writing one kit entry to its destination, and the check that an entry's name
// stays inside the template directory.

#include <cstdint>

#include "base/wstring.h"

struct DistributionKit;

// True when `name` passes the kit's entry-name check (CheckEntryName): it
// names a file inside the directory it is installed into and converts whole.
bool IsSafeEntryName(const WString& name);

// Makes the new file `destination` (never through a link, never over an
// existing entry; with `directory` a descriptor, the file is made by its last
// component inside that directory, so no link in its parents is followed), copies entry `index` from the kit's container into it
// through the kit's copy buffer, gives it the entry's time (whole seconds) and
// closes it; every one of these steps is checked. 0; the open's code; the
// seek's, read's, write's, time-setting's or close's last error; 13 when the
// entry runs past the end of the container; 87 for a kit without a copy
// buffer or an index out of range. `error`, when given, receives the errno
// value of a failed system call (0 otherwise).
[[nodiscard]] uint32_t ExtractEntry(DistributionKit& kit, size_t index, const WString& destination,
                                    int* error = nullptr, int directory = -1);
