#pragma once
// The form in which the installation and its plan take the template
// directory: an absolute path ending with "/". Whoever hands it over makes it
// so (config's TemplateLocations::AsInstallTarget); the installation itself
// adds, strips and resolves nothing, and refuses any other form.

#include "base/wstring.h"

namespace vxk5 {

// `directory` is absolute and ends with "/".
inline bool IsInstallTarget(const WString& directory) {
    return !directory.empty() && directory[0] == u'/' && directory.EndsWith(u'/');
}

}  // namespace vxk5
