#pragma once
// The check on Next that turns away a template directory no installation
// could use, before anything is copied.

#include "base/wstring.h"

namespace vxk5 {

// Whether an installation into the absolute `path` can start: the path, or
// else the nearest existing directory above it, is a directory (a symbolic
// link to one counts) that this process may write into and search. A
// directory that does not exist yet but could be made is usable; a dangling
// symbolic link in its place is not.
bool IsUsableTarget(const WString& path);

}  // namespace vxk5
