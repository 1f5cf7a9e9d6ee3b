#pragma once
// What an installation did (or, planned, would do) with the kit's entries.

#include <cstdint>

namespace vxk5 {

struct InstallCounts {
    uint32_t newFiles = 0;  // written where no file was
    uint32_t replaced = 0;  // an older file set aside and overwritten
    uint32_t kept = 0;      // the file there is as new as the kit's, or newer
};

}  // namespace vxk5
