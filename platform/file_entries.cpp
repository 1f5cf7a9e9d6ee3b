#include "platform/file_entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/fault_injection.h"

namespace vxk5 {

namespace {

struct DirCloser {
    void operator()(DIR* stream) const { ::closedir(stream); }
};

EntryKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::File;
    if (S_ISDIR(mode)) return EntryKind::Directory;
    if (S_ISLNK(mode)) return EntryKind::Link;
    return EntryKind::Other;
}

int WriteAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (put == 0) return EIO;
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return 0;
}

int CopyFile(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    OwnedDescriptor source(::openat(fromDirectory, from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (source.Get() < 0) return errno;
    struct stat status;
    if (::fstat(source.Get(), &status) != 0) return errno;
    if (!S_ISREG(status.st_mode)) return EINVAL;
    OwnedDescriptor target(
        ::openat(toDirectory, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (target.Get() < 0) return errno;
    int error = 0;
    static constexpr size_t kChunk = 256 * 1024;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        const ssize_t got = ::read(source.Get(), buffer.get(), kChunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (got == 0) break;
        if ((error = WriteAll(target.Get(), buffer.get(), static_cast<size_t>(got))) != 0) break;
    }
    if (error == 0 && ::fchmod(target.Get(), status.st_mode & 07777) != 0) error = errno;
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (error == 0 && ::futimens(target.Get(), times) != 0) error = errno;
    const int closed = target.Close();
    if (error == 0) error = closed;
    if (error != 0) ::unlinkat(toDirectory, to.c_str(), 0);
    return error;
}

int CopyLink(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    struct stat status;
    if (::fstatat(fromDirectory, from.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    std::string text(static_cast<size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlinkat(fromDirectory, from.c_str(), &text[0], text.size());
    if (length < 0) return errno;
    if (static_cast<size_t>(length) >= text.size()) return ENAMETOOLONG;  // changed under us
    text.resize(static_cast<size_t>(length));
    if (::symlinkat(text.c_str(), toDirectory, to.c_str()) != 0) return errno;
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (::utimensat(toDirectory, to.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        ::unlinkat(toDirectory, to.c_str(), 0);
        return error;
    }
    return 0;
}

int CopyEntryBetween(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    struct stat status;
    if (::fstatat(fromDirectory, from.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (S_ISLNK(status.st_mode)) return CopyLink(fromDirectory, from, toDirectory, to);
    if (S_ISREG(status.st_mode)) return CopyFile(fromDirectory, from, toDirectory, to);
    return EINVAL;  // only files and links are ever moved
}

}  // namespace

int ExamineEntry(const std::string& path, EntryStatus& status) { return ExamineEntryAt(AT_FDCWD, path, status); }

int ExamineEntryAt(int directory, const std::string& name, EntryStatus& status) {
    status = EntryStatus();
    struct stat info;
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    }
    status.kind = KindOf(info.st_mode);
    status.modified = info.st_mtime;
    if (status.kind != EntryKind::Link) return 0;
    struct stat target;
    if (::fstatat(directory, name.c_str(), &target, 0) != 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return 0;  // dangling: a link and nothing more
        return errno;
    }
    status.target = KindOf(target.st_mode);
    status.modified = target.st_mtime;
    return 0;
}

int OpenDirectoryAt(int directory, const std::string& name, OwnedDescriptor& opened) {
    // O_PATH: the directory is only looked up in, so it need not be readable.
    const int fd = ::openat(directory, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        opened.Reset(fd);
        return 0;
    }
    const int error = errno;
    // With O_PATH a link is refused as no directory: say that it is a link.
    struct stat info;
    if (error == ENOTDIR && ::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        return ELOOP;
    }
    return error;
}

int MakeDirectoryAt(int directory, const std::string& name, unsigned mode) {
    return ::mkdirat(directory, name.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int RemoveEntryAt(int directory, const std::string& name) {
    if (::unlinkat(directory, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
    return errno;
}

int RemoveDirectoryAt(int directory, const std::string& name) {
    if (::unlinkat(directory, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return 0;
    return errno;
}

bool IsDirectoryAt(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int MakeDirectory(const std::string& path, unsigned mode) {
    return ::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int RemoveEntry(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return 0;
    return errno;
}

int RemoveDirectory(const std::string& path) {
    if (::rmdir(path.c_str()) == 0 || errno == ENOENT) return 0;
    return errno;
}

int CopyEntry(const std::string& from, const std::string& to) { return CopyEntryBetween(AT_FDCWD, from, AT_FDCWD, to); }

int MoveEntry(const std::string& from, const std::string& to, const std::string& staging) {
    return MoveEntryBetween(AT_FDCWD, from, AT_FDCWD, to, staging);
}

int MoveEntryBetween(int fromDirectory, const std::string& from, int toDirectory, const std::string& to,
                     const std::string& staging) {
    if (::renameat(fromDirectory, from.c_str(), toDirectory, to.c_str()) == 0) return 0;
    if (errno != EXDEV) return errno;
    if (staging.empty()) {
        if (const int error = CopyEntryBetween(fromDirectory, from, toDirectory, to); error != 0) return error;
    } else {
        if (const int error = CopyEntryBetween(fromDirectory, from, AT_FDCWD, staging); error != 0) return error;
        if (::renameat(AT_FDCWD, staging.c_str(), toDirectory, to.c_str()) != 0) {
            const int error = errno;
            ::unlink(staging.c_str());
            return error;
        }
    }
    if (::unlinkat(fromDirectory, from.c_str(), 0) != 0) {
        const int error = errno;
        ::unlinkat(toDirectory, to.c_str(), 0);  // the original stays the only copy
        return error;
    }
    return 0;
}

int PurgeTree(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
    if (const int injected = InjectedFault(FaultStep::Purge, path); injected != 0) return injected;
    if (!S_ISDIR(status.st_mode)) return RemoveEntry(path);
    std::vector<std::string> names;
    int first = ListDirectory(path, names);
    for (const std::string& name : names) {
        const int error = PurgeTree(path + "/" + name);
        if (first == 0) first = error;
    }
    const int removed = RemoveDirectory(path);
    return first != 0 ? first : removed;
}

int ListDirectory(const std::string& directory, std::vector<std::string>& names) {
    names.clear();
    std::unique_ptr<DIR, DirCloser> stream(::opendir(directory.c_str()));
    if (!stream) return errno;
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) return errno;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        names.emplace_back(name);
    }
}

std::string CurrentDirectory() {
    std::string buffer(4096, '\0');
    for (;;) {
        if (::getcwd(&buffer[0], buffer.size()) != nullptr) return std::string(buffer.c_str());
        if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace vxk5
