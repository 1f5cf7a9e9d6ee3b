#pragma once
// The longest path and name the system takes, for checks made before a path
// is built.

#include <climits>
#include <cstddef>

namespace vxk5 {

// Bytes of a path, the terminating 0 byte included (PATH_MAX).
constexpr size_t kMaxPathBytes = PATH_MAX;
// Bytes of one name in a directory, without a terminating 0 (NAME_MAX).
constexpr size_t kMaxNameBytes = NAME_MAX;

}  // namespace vxk5
