#include "platform/directory_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/conversion.h"

namespace vxk5 {

DirectoryProbe ProbeDirectory(const WString& path) {
    const AString bytes = ToMultiByte(path);
    struct stat status;
    if (::stat(bytes.c_str(), &status) == 0) {
        const bool usable = S_ISDIR(status.st_mode) && ::access(bytes.c_str(), W_OK | X_OK) == 0;
        return usable ? DirectoryProbe::Usable : DirectoryProbe::Unusable;
    }
    const int error = errno;
    if (error != ENOENT && error != ENOTDIR) return DirectoryProbe::Unusable;
    // A link whose target is missing: nothing can be made there.
    if (::lstat(bytes.c_str(), &status) == 0) return DirectoryProbe::Unusable;
    return DirectoryProbe::Missing;
}

bool IsDirectory(const WString& path) {
    const AString bytes = ToMultiByte(path);
    struct stat status;
    return ::stat(bytes.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace vxk5
