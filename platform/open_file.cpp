#include "platform/open_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vxk5 {

int DuplicateDescriptor(int descriptor, OwnedDescriptor& copy) {
    const int fd = ::dup(descriptor);
    if (fd < 0) return errno;
    copy.Reset(fd);
    return 0;
}

int SetOpenFileMode(int descriptor, unsigned mode) {
    return ::fchmod(descriptor, static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

unsigned DefaultNewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
}

int OpenFileSize(int descriptor, uint64_t& size) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return errno;
    size = static_cast<uint64_t>(status.st_size);
    return 0;
}

int SyncOpenFile(int descriptor) { return ::fsync(descriptor) == 0 ? 0 : errno; }

}  // namespace vxk5
