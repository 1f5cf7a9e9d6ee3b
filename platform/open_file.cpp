#include "platform/open_file.h"

#include <fcntl.h>
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

int DuplicatePrivateDescriptor(int descriptor, OwnedDescriptor& copy) {
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
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

int SyncOpenFileData(int descriptor) { return ::fdatasync(descriptor) == 0 ? 0 : errno; }

int SetOpenFileTimes(int descriptor, int64_t seconds, int64_t nanoseconds) {
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = static_cast<long>(nanoseconds);
    times[1] = times[0];
    return ::futimens(descriptor, times) == 0 ? 0 : errno;
}

int ReleaseOpenFileRange(int descriptor, int64_t offset, int64_t length) {
    return ::fallocate(descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, length) == 0 ? 0 : errno;
}

int WriteOpenFile(int descriptor, const std::string& bytes) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) return errno;
    return static_cast<size_t>(written) == bytes.size() ? 0 : EIO;
}

int64_t ReadOpenFileAt(int descriptor, void* buffer, size_t size, int64_t offset) {
    return ::pread64(descriptor, buffer, size, static_cast<off64_t>(offset));
}

}  // namespace vxk5
