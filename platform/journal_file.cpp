#include "platform/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vxk5 {

namespace {

// flock where the file system cannot lock: go on unlocked.
bool LockingUnsupported(int error) { return error == EOPNOTSUPP || error == ENOLCK || error == EINVAL || error == ENOSYS; }

int LockWithRetry(int fd, int operation) {
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

}  // namespace

void JournalFile::Close() {
    fd_.Reset();
}

int JournalFile::Create(const std::string& path, const std::string& header) {
    Close();
    // First choice: an unnamed file in the same directory, filled and locked,
    // then linked under its name (linkat fails with EEXIST when it is taken).
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        fd_.Reset(fd);
        (void)LockWithRetry(fd_.Get(), LOCK_EX | LOCK_NB);
        int error = ::fchmod(fd_.Get(), 0600) == 0 ? Append(header) : errno;
        if (error == 0) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
            error = errno;
        }
        Close();
        if (error == EEXIST || (error != ENOENT && error != EPERM && error != EOPNOTSUPP)) return error;
        // No /proc, or no linking of unnamed files here: the plain way below.
    }
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    fd_.Reset(fd);
    // Nobody else can have the new file locked; a lock that fails is only a
    // file system without locks.
    (void)LockWithRetry(fd_.Get(), LOCK_EX | LOCK_NB);
    int error = ::fchmod(fd_.Get(), 0600) == 0 ? Append(header) : errno;
    if (error != 0) {
        Close();
        ::unlink(path.c_str());
    }
    return error;
}

int JournalFile::OpenLeftOver(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (!S_ISREG(status.st_mode) || status.st_uid != ::getuid() || (status.st_mode & 07777) != 0600) {
        ::close(fd);
        return EPERM;
    }
    if (const int error = LockWithRetry(fd, LOCK_EX | LOCK_NB); error != 0 && !LockingUnsupported(error)) {
        ::close(fd);
        return error;
    }
    fd_.Reset(fd);
    return 0;
}

int JournalFile::Append(const std::string& record) {
    if (!fd_.IsOpen()) return EBADF;
    for (;;) {
        const ssize_t put = ::write(fd_.Get(), record.data(), record.size());
        if (put == static_cast<ssize_t>(record.size())) return 0;
        if (put < 0 && errno == EINTR) continue;
        return put < 0 ? errno : EIO;  // a short record is as good as none
    }
}

int JournalFile::ReadAll(std::string& bytes) const {
    bytes.clear();
    if (!fd_.IsOpen()) return EBADF;
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd_.Get(), buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        bytes.append(buffer, static_cast<size_t>(got));
        offset += got;
    }
}

void DirectoryLock::Release() {
    fd_.Reset();
}

int DirectoryLock::Open(const std::string& path) {
    Release();
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    fd_.Reset(fd);
    return 0;
}

bool DirectoryLock::TryLock() {
    if (!fd_.IsOpen()) return false;
    const int error = LockWithRetry(fd_.Get(), LOCK_EX | LOCK_NB);
    return error == 0 || error != EWOULDBLOCK;
}

int DirectoryLock::Wait() {
    if (!fd_.IsOpen()) return EBADF;
    const int error = LockWithRetry(fd_.Get(), LOCK_EX);
    return LockingUnsupported(error) ? 0 : error;
}

bool DirectoryLock::StillNamedBy(const std::string& path) const {
    struct stat locked;
    struct stat named;
    return fd_.IsOpen() && ::fstat(fd_.Get(), &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
           locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

}  // namespace vxk5
