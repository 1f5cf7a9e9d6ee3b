#pragma once
// Where the folder chooser opens: at the folder the directory entry names, or
// at its nearest existing parent, so that the user starts next to what the
// entry proposes (a template directory that does not exist yet included).

#include "base/wstring.h"

namespace vxk5 {

// The nearest existing directory at or above the entry's path. Backslashes
// count as slashes, a leading "~" is the home directory and a relative path is
// taken from the current directory. Empty when the entry is empty.
AString ChooserStartFolder(const WString& entryText);

}  // namespace vxk5
