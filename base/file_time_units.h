#pragma once
// The units of a file time: 100-nanosecond ticks counted from 1601-01-01 00:00
// UTC, the epoch of the kit format, which is not the POSIX one.

#include <cstdint>

namespace vxk5 {

constexpr int64_t kFileTimeTicksPerSecond = 10000000;
// From 1601-01-01 to 1970-01-01, where POSIX times start.
constexpr int64_t kFileTimeEpochOffsetSeconds = 11644473600;

}  // namespace vxk5
