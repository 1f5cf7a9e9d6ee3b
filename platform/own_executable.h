#pragma once
// Where this process's program file is, for what ships beside it.

#include "base/wstring.h"

namespace vxk5 {

// The directory of the running program, without a trailing slash (empty for
// "/"); false when the system does not tell it whole.
[[nodiscard]] bool OwnExecutableDirectory(AString& directory);

}  // namespace vxk5
