#include "platform/file_entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <stdio.h>

#include "base/two_threads.h"
#include "platform/dir_stream.h"
#include "platform/fault_injection.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

// The coarse kind EntryStatus holds: a FIFO, socket or device is Other.
EntryKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::File;
    if (S_ISDIR(mode)) return EntryKind::Directory;
    if (S_ISLNK(mode)) return EntryKind::Link;
    return EntryKind::Other;
}


[[nodiscard]] int ExamineEntryAtErrno(int directory, const std::string& name, EntryStatus& status) {
    status = EntryStatus();
    struct stat info;
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    }
    status.kind = KindOf(info.st_mode);
    status.modified = info.st_mtime;
    status.stamp = EntryStamp{EntryIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)},
                              static_cast<uint64_t>(info.st_size), info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
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

static_assert(kCurrentDirectoryDescriptor == AT_FDCWD, "the current directory's stand-in is the system's");

[[nodiscard]] int OpenDirectoryAtErrno(int directory, const std::string& name, OwnedDescriptor& opened,
                                       DirectoryAccess access = DirectoryAccess::LookUp) {
    // O_PATH: a directory only looked up in need not be readable.
    const int how = access == DirectoryAccess::LookUp ? O_PATH : O_RDONLY;
    const int fd = ::openat(directory, name.c_str(), how | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        opened.Reset(fd);
        return 0;
    }
    const int error = errno;
    // With O_DIRECTORY a link is refused as no directory: say that it is a link.
    struct stat info;
    if (error == ENOTDIR && ::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        return ELOOP;
    }
    return error;
}

[[nodiscard]] int MakeDirectoryAtErrno(int directory, const std::string& name, unsigned mode) {
    return ::mkdirat(directory, name.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

[[nodiscard]] int RemoveEntryAtErrno(int directory, const std::string& name) {
    if (::unlinkat(directory, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
    return errno;
}

[[nodiscard]] int RemoveDirectoryAtErrno(int directory, const std::string& name) {
    if (::unlinkat(directory, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return 0;
    return errno;
}


[[nodiscard]] int MakeDirectoryErrno(const std::string& path, unsigned mode) {
    return ::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

// Every name of the open `stream` but "." and "..". 0, or errno.
[[nodiscard]] int ReadNames(DIR* stream, std::vector<std::string>& names) {
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(stream);
        if (entry == nullptr) return errno;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        names.emplace_back(name);
    }
}


[[nodiscard]] int ListDirectoryErrno(const std::string& directory, std::vector<std::string>& names) {
    names.clear();
    DirStream stream(::opendir(directory.c_str()));
    if (!stream) return errno;
    return ReadNames(static_cast<DIR*>(stream.get()), names);
}

[[nodiscard]] int IdentityOfErrno(int descriptor, EntryIdentity& identity) {
    struct stat info;
    if (::fstat(descriptor, &info) != 0) return errno;
    identity = EntryIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return 0;
}

[[nodiscard]] int IdentityAtErrno(int directory, const std::string& name, EntryIdentity& identity) {
    struct stat info;
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    identity = EntryIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return 0;
}

[[nodiscard]] int RenameAtErrno(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    return ::renameat(fromDirectory, from.c_str(), toDirectory, to.c_str()) == 0 ? 0 : errno;
}

[[nodiscard]] int PlaceWithoutReplacingErrno(int fromDirectory, const std::string& from, int toDirectory,
                                             const std::string& to) {
    if (::renameat2(fromDirectory, from.c_str(), toDirectory, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // A link cannot be made over a taken name either; the old name goes only
    // once the new one holds the file.
    if (::linkat(fromDirectory, from.c_str(), toDirectory, to.c_str(), 0) == 0) {
        return ::unlinkat(fromDirectory, from.c_str(), 0) == 0 ? 0 : errno;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return errno;
    // No hard links here: the name is checked free just before the rename.
    struct stat info;
    if (::fstatat(toDirectory, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return RenameAtErrno(fromDirectory, from, toDirectory, to);
}

[[nodiscard]] int OpenDirectoryPathErrno(const std::string& path, DirectoryAccess access, OwnedDescriptor& opened) {
    if (path.empty() || path[0] != '/') return EINVAL;
    OwnedDescriptor current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current.IsOpen()) return errno;
    size_t start = 1;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const std::string name = path.substr(start, end - start);
            if (name == "..") return EINVAL;
            if (name != ".") {
                OwnedDescriptor next;
                if (const int error = OpenDirectoryAtErrno(current.Get(), name, next); error != 0) return error;
                current = std::move(next);
            }
        }
        start = end + 1;
    }
    if (access == DirectoryAccess::Read) {
        const int fd = ::openat(current.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        current.Reset(fd);
    }
    opened = std::move(current);
    return 0;
}

[[nodiscard]] int ListDirectoryAtErrno(int directory, std::vector<std::string>& names) {
    names.clear();
    const int fd = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    DirStream stream(::fdopendir(fd));
    if (!stream) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    return ReadNames(static_cast<DIR*>(stream.get()), names);
}

// How a directory's entries are purged: one after the other, or shared out
// between two threads at the first directory holding more than one entry.
enum class PurgeSharing { OneThread, TwoThreads };

[[nodiscard]] int PurgeTreeAtErrno(int directory, const std::string& name,
                                   PurgeSharing sharing = PurgeSharing::OneThread) {
    if (const int injected = InjectedFault(FaultStep::Purge, name); injected != 0) return injected;
    // Anything but a directory goes with one call; a directory refuses it
    // (EISDIR, or EPERM where unlink(2) says so) and is emptied first.
    if (::unlinkat(directory, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
    if (errno != EISDIR && errno != EPERM) return errno;
    struct stat status;
    if (::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(status.st_mode)) return EPERM;
    int first = 0;
    {
        OwnedDescriptor inside;
        first = OpenDirectoryAtErrno(directory, name, inside);
        std::vector<std::string> names;
        if (first == 0) first = ListDirectoryAtErrno(inside.Get(), names);
        if (sharing == PurgeSharing::TwoThreads && names.size() > 1) {
            // The first error in the listing's order, as on one thread.
            std::vector<int> errors(names.size(), 0);
            ShareOverTwoThreads(0, names.size(), [&](size_t k, bool) {
                errors[k] = PurgeTreeAtErrno(inside.Get(), names[k]);
                return true;
            });
            for (const int error : errors) {
                if (first == 0) first = error;
            }
        } else {
            for (const std::string& child : names) {
                const int error = PurgeTreeAtErrno(inside.Get(), child, sharing);
                if (first == 0) first = error;
            }
        }
    }
    const int removed = RemoveDirectoryAtErrno(directory, name);
    return first != 0 ? first : removed;
}

[[nodiscard]] int SyncDirectoryErrno(int directory) {
    // An O_PATH descriptor cannot be synced: the directory is opened for it.
    OwnedDescriptor readable(::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!readable.IsOpen()) return errno;
    return ::fsync(readable.Get()) == 0 ? 0 : errno;
}

// The result of a file-entry operation on `path`: Succeeded() for 0, else
// the errno value with its code.
Failure EntryFailure(int error, const std::string& path) {
    return error == 0 ? Succeeded() : FailureFromErrno(error, path);
}

}  // namespace

Failure ExamineEntry(const std::string& path, EntryStatus& status) {
    return EntryFailure(ExamineEntryAtErrno(AT_FDCWD, path, status), path);
}

Failure ExamineEntryAt(int directory, const std::string& name, EntryStatus& status) {
    return EntryFailure(ExamineEntryAtErrno(directory, name, status), name);
}

Failure MakeDirectory(const std::string& path, unsigned mode) {
    return EntryFailure(MakeDirectoryErrno(path, mode), path);
}

Failure OpenDirectoryAt(int directory, const std::string& name, OwnedDescriptor& opened, DirectoryAccess access) {
    return EntryFailure(OpenDirectoryAtErrno(directory, name, opened, access), name);
}

Failure CreateNewFileAt(int directory, const std::string& name, unsigned mode, OwnedDescriptor& file) {
    const int fd = ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            static_cast<mode_t>(mode));
    if (fd < 0) return FailureFromErrno(errno, name);
    file.Reset(fd);
    return Succeeded();
}

Failure OpenForReadingAt(int directory, const std::string& name, OwnedDescriptor& file) {
    const int fd = ::openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FailureFromErrno(errno, name);
    file.Reset(fd);
    return Succeeded();
}

Failure MakeDirectoryAt(int directory, const std::string& name, unsigned mode) {
    return EntryFailure(MakeDirectoryAtErrno(directory, name, mode), name);
}

Failure RemoveEntryAt(int directory, const std::string& name) {
    return EntryFailure(RemoveEntryAtErrno(directory, name), name);
}

Failure RemoveDirectoryAt(int directory, const std::string& name) {
    return EntryFailure(RemoveDirectoryAtErrno(directory, name), name);
}

Failure IdentityOf(int descriptor, EntryIdentity& identity) {
    return EntryFailure(IdentityOfErrno(descriptor, identity), {});
}

Failure IdentityAt(int directory, const std::string& name, EntryIdentity& identity) {
    return EntryFailure(IdentityAtErrno(directory, name, identity), name);
}

Failure RenameAt(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    return EntryFailure(RenameAtErrno(fromDirectory, from, toDirectory, to), from);
}

Failure PlaceWithoutReplacing(int directory, const std::string& from, const std::string& to) {
    return EntryFailure(PlaceWithoutReplacingErrno(directory, from, directory, to), to);
}

Failure PlaceWithoutReplacing(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    return EntryFailure(PlaceWithoutReplacingErrno(fromDirectory, from, toDirectory, to), to);
}

int OpenParentOf(int from, const std::string& relative, OwnedDescriptor& parent, int& directory,
                               std::string& name) {
    directory = from;
    name = relative;
    size_t start = 0;
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        if (slash > start) {
            OwnedDescriptor next;
            if (const int error = OpenDirectoryAt(directory, relative.substr(start, slash - start), next).error;
                error != 0) {
                return error;
            }
            parent = std::move(next);
            directory = parent.Get();
        }
        start = slash + 1;
    }
    name = relative.substr(start);
    return name.empty() ? EINVAL : 0;
}

Failure LinkEntryAt(int fromDirectory, const std::string& from, int toDirectory, const std::string& to) {
    return EntryFailure(::linkat(fromDirectory, from.c_str(), toDirectory, to.c_str(), 0) == 0 ? 0 : errno, to);
}

Failure ExchangeAt(int directory, const std::string& from, const std::string& to) {
    const int error =
        ::renameat2(directory, from.c_str(), directory, to.c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
    return EntryFailure(error, to);
}

Failure MayChangeEntries(int directory) {
    return EntryFailure(::faccessat(directory, ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno, ".");
}

bool ExchangesEntries(int directory, const std::string& probe) {
    const std::string first = probe + ".a";
    const std::string second = probe + ".b";
    bool exchanged = false;
    if (::mkdirat(directory, first.c_str(), 0700) == 0) {
        if (::mkdirat(directory, second.c_str(), 0700) == 0) {
            exchanged = ::renameat2(directory, first.c_str(), directory, second.c_str(), RENAME_EXCHANGE) == 0;
            // Empty directories of the caller's own: one left behind goes with the directory holding it.
            (void)::unlinkat(directory, second.c_str(), AT_REMOVEDIR);
        }
        (void)::unlinkat(directory, first.c_str(), AT_REMOVEDIR);
    }
    return exchanged;
}

Failure OpenDirectoryPath(const std::string& path, DirectoryAccess access, OwnedDescriptor& opened) {
    return EntryFailure(OpenDirectoryPathErrno(path, access, opened), path);
}

Failure PurgeTreeAt(int directory, const std::string& name) {
    return EntryFailure(PurgeTreeAtErrno(directory, name), name);
}

Failure PurgeTreeOnTwoThreadsAt(int directory, const std::string& name) {
    return EntryFailure(PurgeTreeAtErrno(directory, name, PurgeSharing::TwoThreads), name);
}

Failure ListDirectoryAt(int directory, std::vector<std::string>& names) {
    return EntryFailure(ListDirectoryAtErrno(directory, names), {});
}

Failure SyncDirectory(int directory) {
    return EntryFailure(SyncDirectoryErrno(directory), {});
}

Failure ListDirectory(const std::string& directory, std::vector<std::string>& names) {
    return EntryFailure(ListDirectoryErrno(directory, names), directory);
}


bool IsDirectoryAt(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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
