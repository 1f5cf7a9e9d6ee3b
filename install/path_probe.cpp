#include "install/path_probe.h"

#include <sys/stat.h>

#include "base/conversion.h"

namespace vxk5 {

bool IsExistingDirectory(const WString& path) {
    struct stat status;
    return ::stat(ToMultiByte(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsRealDirectory(const WString& path) {
    struct stat status;
    return ::lstat(ToMultiByte(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool PathPresent(const WString& path) {
    struct stat status;
    return ::lstat(ToMultiByte(path).c_str(), &status) == 0;
}

}  // namespace vxk5
