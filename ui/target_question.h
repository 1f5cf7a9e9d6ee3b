#pragma once
// What the directory page makes of a resolved template directory before the
// installation starts: the path as the user should see it, and whether it is
// a directory that holds much more than templates, so that installing into it
// is asked about first.

#include "base/wstring.h"

namespace vxk5 {

// `path` without its "." components: "/home/u/demo/." is "/home/u/demo",
// "/a/./b/" is "/a/b/". ".." stays: through a symbolic link it may not lead
// back where the text suggests.
WString WithoutDotComponents(const WString& path);

// Whether `directory` is the home directory itself, the current directory
// (where the installer was started) or the folder of the kit at `kitPath`.
// Compared as directories on disk (a link to one of them counts), so no
// spelling of the path slips past; a directory that does not exist yet is
// none of them.
bool IsStartOrHomeDirectory(const WString& directory, const WString& kitPath);

}  // namespace vxk5
