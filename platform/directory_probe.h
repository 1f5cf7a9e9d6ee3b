#pragma once
// What stands at a path for someone who means to make files there: the
// template-directory checks and the folder chooser ask before anything is made.

#include "base/wstring.h"

namespace vxk5 {

enum class DirectoryProbe {
    Usable,    // a directory (a symbolic link to one counts) this process may write into and search
    Unusable,  // anything else there: a file, a dangling link, a directory it may not use, an error
    Missing,   // nothing there, or something on the way that is no directory
};

// stat, then lstat to tell a dangling link from nothing; links are followed.
DirectoryProbe ProbeDirectory(const WString& path);

// Whether `path` names a directory (links followed).
bool IsDirectory(const WString& path);

}  // namespace vxk5
