#pragma once
// The stats the job needs beyond the platform's commands: they tell an existing
// directory (so that no utility is started for it) and a name already taken.

#include "base/wstring.h"

namespace vxk5 {

// stat(2) reports a directory (a symbolic link to one counts).
bool IsExistingDirectory(const WString& path);
// lstat(2) reports a directory (a symbolic link does not count).
bool IsRealDirectory(const WString& path);
// lstat(2) finds anything at all there (a dangling symbolic link counts).
bool PathPresent(const WString& path);

}  // namespace vxk5
