#include "platform/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/file_entries.h"

namespace vxk5 {

namespace {

// flock where the file system cannot lock: go on unlocked.
bool LockingUnsupported(int error) { return error == EOPNOTSUPP || error == ENOLCK || error == EINVAL || error == ENOSYS; }

[[nodiscard]] int LockWithRetry(int fd, int operation) {
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

}  // namespace

void JournalFile::Close() {
    fd_.Reset();
    length_ = 0;
}

int JournalFile::CreateAt(int directory, const std::string& name, const std::string& header) {
    Close();
    const int fd =
        ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    fd_.Reset(fd);
    // Nobody else can have the new file locked; a lock that fails is only a
    // file system without locks.
    (void)LockWithRetry(fd_.Get(), LOCK_EX | LOCK_NB);
    int error = ::fchmod(fd_.Get(), 0600) == 0 ? Append(header) : errno;
    if (error == 0) error = Sync();
    if (error != 0) {
        Close();
        ::unlinkat(directory, name.c_str(), 0);
    }
    return error;
}

int JournalFile::OpenLeftOverAt(int directory, const std::string& name, int waitMilliseconds) {
    Close();
    const int fd = ::openat(directory, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    OwnedDescriptor opened(fd);
    struct stat status;
    if (::fstat(fd, &status) != 0) return errno;
    if (!S_ISREG(status.st_mode) || status.st_uid != ::getuid() || (status.st_mode & 07777) != 0600) return EPERM;
    // A process that is being killed lets go of its descriptors one by one: the
    // journal's lock can outlive the template directory's for a moment. Polled,
    // not waited for, so that a journal held for good cannot block for ever.
    constexpr int kPollMilliseconds = 10;
    int error = LockWithRetry(fd, LOCK_EX | LOCK_NB);
    for (int waited = 0; error == EWOULDBLOCK && waited < waitMilliseconds; waited += kPollMilliseconds) {
        ::usleep(kPollMilliseconds * 1000);
        error = LockWithRetry(fd, LOCK_EX | LOCK_NB);
    }
    if (error != 0 && !LockingUnsupported(error)) return error;
    fd_ = std::move(opened);
    length_ = status.st_size;
    return 0;
}

int JournalFile::Append(const std::string& record) {
    if (!fd_.IsOpen()) return EBADF;
    size_t done = 0;
    while (done < record.size()) {
        const ssize_t put = ::write(fd_.Get(), record.data() + done, record.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : EIO;
            // A record cut short is as good as none: it is taken back so that
            // the file ends with a whole record again. Should that fail too,
            // the write's own error is still the one to report.
            if (done > 0 && ::ftruncate(fd_.Get(), length_) != 0) return error;
            return error;
        }
        done += static_cast<size_t>(put);
    }
    length_ += static_cast<off_t>(record.size());
    return 0;
}

int JournalFile::Sync() {
    if (!fd_.IsOpen()) return EBADF;
    while (::fdatasync(fd_.Get()) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
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
    above_.clear();
}

int DirectoryLock::Open(const std::string& path) {
    Release();
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    fd_.Reset(fd);
    openedAs_ = path;
    return 0;
}

int DirectoryLock::OpenWithoutLinks(const std::string& path) {
    Release();
    openedAs_ = path;
    return OpenDirectoryPath(path, DirectoryAccess::Read, fd_).error;
}

std::string DirectoryLock::RealPath() const {
    if (!fd_.IsOpen()) return std::string();
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink(self.c_str(), &buffer[0], buffer.size());
    if (length > 0 && static_cast<size_t>(length) < buffer.size() && buffer[0] == '/') {
        buffer.resize(static_cast<size_t>(length));
    } else if (!openedAs_.empty()) {
        // Without /proc: the path it was opened by, with its links resolved.
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(openedAs_.c_str(), nullptr), &std::free);
        if (!resolved) return std::string();
        buffer = resolved.get();
    } else {
        return std::string();
    }
    // A directory removed meanwhile reads " (deleted)": no path at all.
    struct stat named;
    struct stat held;
    if (::stat(buffer.c_str(), &named) != 0 || ::fstat(fd_.Get(), &held) != 0 || named.st_dev != held.st_dev ||
        named.st_ino != held.st_ino) {
        return std::string();
    }
    return buffer;
}

int DirectoryLock::LockAll(Blocking blocking) {
    above_.clear();
    const int flags = blocking == Blocking::Wait ? 0 : LOCK_NB;
    const std::string real = RealPath();
    // "/", "/a", "/a/b" for the real path "/a/b/c".
    std::vector<std::string> prefixes;
    if (!real.empty() && real != "/") {
        prefixes.push_back("/");
        for (size_t slash = real.find('/', 1); slash != std::string::npos; slash = real.find('/', slash + 1)) {
            prefixes.push_back(real.substr(0, slash));
        }
    }
    for (const std::string& prefix : prefixes) {
        OwnedDescriptor above(::open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!above.IsOpen()) continue;  // not ours to read: not ours to install into either
        const int error = LockWithRetry(above.Get(), LOCK_SH | flags);
        if (error != 0 && !LockingUnsupported(error)) {
            above_.clear();
            return error;
        }
        above_.push_back(std::move(above));
    }
    const int error = LockWithRetry(fd_.Get(), LOCK_EX | flags);
    if (error != 0 && !LockingUnsupported(error)) {
        above_.clear();
        return error;
    }
    return 0;
}

bool DirectoryLock::TryLock() {
    if (!fd_.IsOpen()) return false;
    return LockAll(Blocking::Try) != EWOULDBLOCK;
}

int DirectoryLock::Wait() {
    if (!fd_.IsOpen()) return EBADF;
    return LockAll(Blocking::Wait);
}

bool DirectoryLock::StillNamedBy(const std::string& path) const {
    struct stat locked;
    struct stat named;
    return fd_.IsOpen() && ::fstat(fd_.Get(), &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
           locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

}  // namespace vxk5
