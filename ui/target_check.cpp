#include "ui/target_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/conversion.h"

namespace {

// The path without its last component: "/a/b/" and "/a/b" give "/a", "/a" gives "/".
WString ParentOf(WString path) {
    while (path.length() > 1 && path.EndsWith(u'/')) path = path.substr(0, path.length() - 1);
    const size_t slash = path.rfind(u'/');
    if (slash == WString::npos) return WString();
    if (slash == 0) return WString(u"/");
    return path.substr(0, slash);
}

}  // namespace

bool IsUsableTarget(const WString& path) {
    if (path.empty() || path[0] != u'/') return false;
    WString probe = path;
    while (!probe.empty()) {
        const AString bytes = ToMultiByte(probe);
        struct stat status;
        if (::stat(bytes.c_str(), &status) == 0) {
            return S_ISDIR(status.st_mode) && ::access(bytes.c_str(), W_OK | X_OK) == 0;
        }
        // Missing (or under something that is no directory): look further up,
        // where the file in the way, or the directory to make it in, is found.
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR) return false;
        if (probe == u"/") return false;
        probe = ParentOf(probe);
    }
    return false;
}
