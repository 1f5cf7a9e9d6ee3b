#include "platform/directory_open.h"

#include <fcntl.h>

#include <cerrno>

namespace vxk5 {

int OpenNamedDirectory(const std::string& path, OwnedDescriptor& opened) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    opened.Reset(fd);
    return 0;
}

}  // namespace vxk5
