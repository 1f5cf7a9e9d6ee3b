#include "run/target_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/conversion.h"

namespace vxk5 {

bool IsUsableTarget(const WString& path) {
    if (path.empty() || path[0] != u'/') return false;
    // "file/" names the file: stat would only say "not a directory" and the
    // walk would step over it.
    WString probe = path;
    while (probe.length() > 1 && probe.EndsWith(u'/')) probe = probe.substr(0, probe.length() - 1);
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
        if (::lstat(bytes.c_str(), &status) == 0) return false;  // a dangling link: nothing can be made there
        if (probe == u"/") return false;
        probe = ParentPath(probe);
    }
    return false;
}

}  // namespace vxk5
