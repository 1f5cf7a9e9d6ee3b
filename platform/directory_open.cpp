#include "platform/directory_open.h"

#include <fcntl.h>

#include <cerrno>

namespace vxk5 {

int OpenNamedDirectory(const std::string& path, OwnedDescriptor& opened) {
    return OpenNamedDirectory(path, DirectoryAccess::Read, opened);
}

int OpenNamedDirectory(const std::string& path, DirectoryAccess access, OwnedDescriptor& opened) {
    const int how = access == DirectoryAccess::LookUp ? O_PATH : O_RDONLY;
    const int fd = ::open(path.c_str(), how | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    opened.Reset(fd);
    return 0;
}

}  // namespace vxk5
