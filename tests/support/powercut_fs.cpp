// powercut_fs: a FUSE file system for tests that passes every operation
// through to a backing directory and keeps track of what a disk would hold if
// the power went off now.
//
//   powercut_fs [--cut-at K | --kill-at K | --plant-at K PATH] [--unordered CHOICES] [--log FILE]
//               BACKING MOUNTPOINT
//
// Two models of the disk. The first (the default) is that of a journalling
// file system in its usual mode (ordered data, as ext4 mounts by default):
//   - Namespace and attribute changes (create, mkdir, unlink, rmdir, rename
//     in all its forms, link, symlink, chmod, chown, utimens, setxattr,
//     removexattr) are durable in the order they were made: after a cut, all
//     of those made before it hold and none made after. Losing the last few
//     of them as well is what a cut at an earlier operation shows, so each
//     cut point stands for that family of outcomes.
//   - A file's size set by truncate (an open with O_TRUNC included) is
//     metadata too: durable in order, cutting its durable bytes short (the
//     "zero-length file" of a truncate-and-rewrite that was never synced).
//   - A file's bytes (write, fallocate) are durable only as of its last
//     fsync/fdatasync, or the last syncfs of the file system. A file made
//     since and never synced is empty after the cut, whatever was written
//     into it; a file that existed at the mount and was
//     changed without a sync has its bytes of the mount time. No part of an
//     unsynced write survives (the most hostile reading of "unsynced").
//   - fsync and fdatasync of a file make that file's bytes durable; syncfs
//     makes every file's bytes durable. The kernel does not pass syncfs on to
//     a FUSE file system, so the tests preload a small shim
//     (powercut_syncfs_shim) that, after the real syncfs on a descriptor of
//     this file system, asks for the attribute "user.powercut.syncfs" of it:
//     that question is taken as the syncfs. fsync of a directory makes
//     nothing more durable in this model (directory operations are in order
//     already), but it is counted as an operation all the same.
//
// With --unordered CHOICES the second model: a file system that keeps no order
// among its directory operations, as ext2, or ext4 without a journal, may
// write a directory's blocks in any order and any number of them before the
// power goes. Bytes and attributes are as in the first model; but an entry
// operation (a name made, removed, renamed, exchanged or linked) is durable
// only once the directory it changed is synced (fsync of the directory) or
// the file system is (syncfs); fsync of a file leaves its name as unsure as
// before. At the cut, each directory's unsynced operations are kept or lost
// one by one (a random choice, half of them, drawn from the number CHOICES:
// the same run with the same number loses the same ones), and each name ends as the last kept
// operation left it, or as it was at the directory's last sync when none of
// its operations is kept. An operation on one directory is kept or lost
// whole (an exchange of two names in it included); a rename between two
// directories is one operation in each, kept or lost apart, so that a file
// may end with both names or with neither, and a directory whose making is
// lost takes what was made in it along. Names removed meanwhile are kept
// hidden in the backing directory (in .powercut-attic, which the mount does
// not show) until the image is made, so that a removal that is lost can be
// undone.
//
// Every change and every sync is a numbered "mutating operation" (1, 2, ...).
// With --cut-at K the K-th is not made: its caller is killed with SIGKILL at
// that instant (the power is off, nothing of the program runs on), and every
// later change is refused with EIO and not made. Without --cut-at (or K = 0)
// the cut comes at the unmount: a program that ended without syncing still
// loses what it did not sync.
//
// At the unmount the backing directory is turned into the image of the cut:
// under the second model the lost entry operations are undone first; then
// every file whose bytes were not durable gets its durable bytes back (times,
// mode and owner as they stand, since those are metadata). The backing
// directory is then what the disk would hold after the power came back; mount
// it again to run the recovery on it.
//
// --kill-at K is a process kill rather than a power cut: the K-th operation
// is not made and its caller is killed as with --cut-at, later changes are
// refused, but nothing made before is lost (the kernel keeps unsynced data
// of a killed process). The backing directory is left as it stands.
//
// --plant-at K PATH plays another program: just before the K-th operation is
// made, a file PATH (relative to the mount) is made with O_EXCL, holding
// "made by another program\n". Nothing is cut.
//
// --log FILE receives one line per mutating operation made: its number, its
// kind and its path (for an operation on an open file, the path it was
// opened by), and a last line "cut K ..." or "end N"; under the second model
// then one line "lost K PATH" for each entry operation K lost at PATH.
//
// What a disk does with its cache is outside both models. Syncs are not
// passed on to the backing directory: it is scratch, and durability is this
// model's business.
//
// Single-threaded (-s): operations are numbered in the order the kernel sends
// them, so the same run gives the same numbers (a program that changes the
// disk on two threads at once may give another order). Runs as root (it
// passes operations through with its own rights; default_permissions lets
// the kernel check the caller's).

#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr char kSyncfsAttribute[] = "user.powercut.syncfs";
// Where the second model keeps removed names until the image is made.
constexpr char kAttic[] = ".powercut-attic";

// One change of a name in a directory: the operation that made it and the
// inode the name held after it (0: none).
struct EntryChange {
    long operation = 0;
    ino_t after = 0;
};

// A directory's entry operations since its last sync (second model).
struct UnsyncedDirectory {
    std::string path;  // as first seen, for the log
    // Each name changed since the sync: what it held at the sync (0: nothing).
    std::map<std::string, ino_t> durable;
    std::map<std::string, std::vector<EntryChange>> changes;
    std::vector<long> operations;  // in order, each once
};

struct State {
    int root = -1;          // the backing directory
    long cutAt = 0;         // 0: at the unmount
    long operations = 0;    // mutating operations seen so far (the cut one included)
    bool cut = false;
    bool killOnly = false;  // --kill-at: a killed process, not a power cut
    long plantAt = 0;       // --plant-at: the operation before which
    std::string plantPath;  // this file (relative) is made
    FILE* logFile = nullptr;  // opened before the mount (the daemon's directory changes)
    std::vector<std::string> log;
    // Files whose bytes are not durable, by inode number: their durable bytes.
    std::map<ino_t, std::string> dirty;
    // The paths open files were opened by, for the log.
    std::map<int, std::string> openedAs;
    // The second model: the number its choices are drawn from, the attic, and the unsynced entry
    // operations by directory inode (no inode number is used twice while
    // mounted: whatever is removed waits in the attic).
    bool unordered = false;
    uint64_t choices = 0;
    int attic = -1;
    uint64_t atticNames = 0;
    std::map<ino_t, UnsyncedDirectory> unsynced;
};

State g_state;

// A FUSE path ("/a/b") as a path relative to the backing directory.
std::string Relative(const char* path) {
    if (path == nullptr || path[0] == '\0' || (path[0] == '/' && path[1] == '\0')) return ".";
    return path[0] == '/' ? std::string(path + 1) : std::string(path);
}

// Numbers a mutating operation. False when it must not be made (the cut has
// come); the caller then returns -EIO.
bool Admit(const char* kind, const char* path) {
    if (g_state.cut) return false;
    ++g_state.operations;
    if (g_state.operations == g_state.plantAt) {
        const int fd = openat(g_state.root, g_state.plantPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            static const char kBytes[] = "made by another program\n";
            (void)!write(fd, kBytes, sizeof kBytes - 1);
            close(fd);
        }
        g_state.log.push_back("planted " + g_state.plantPath);
    }
    if (g_state.cutAt != 0 && g_state.operations == g_state.cutAt) {
        g_state.cut = true;
        const fuse_context* context = fuse_get_context();
        // The power goes off under the caller: it runs no further.
        if (context != nullptr && context->pid > 0 && context->pid != getpid() && context->pid != getppid()) {
            kill(context->pid, SIGKILL);
        }
        g_state.log.push_back("cut " + std::to_string(g_state.operations) + " " + kind + " " +
                              (path != nullptr ? path : ""));
        return false;
    }
    g_state.log.push_back(std::to_string(g_state.operations) + " " + kind + " " + (path != nullptr ? path : ""));
    return true;
}

bool ReadWhole(int fd, std::string& bytes) {
    bytes.clear();
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = pread(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        bytes.append(buffer, static_cast<size_t>(got));
        offset += got;
    }
}

// Before the first unsynced change of a file's bytes: keep what is durable.
void RememberDurable(int fd) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
    if (g_state.dirty.count(status.st_ino) != 0) return;
    std::string bytes;
    if (!ReadWhole(fd, bytes)) {
        // Opened for writing only: read it through a descriptor of its own.
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const int reader = open(self.c_str(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            (void)ReadWhole(reader, bytes);
            close(reader);
        }
    }
    g_state.dirty[status.st_ino] = bytes;
}

// A size set by truncate is durable at once: the durable bytes of a changed
// file are cut (or zero-filled) to it; an unchanged file stays unchanged.
void TruncateDurable(int fd, off_t size) {
    struct stat status;
    if (fstat(fd, &status) != 0) return;
    const auto dirty = g_state.dirty.find(status.st_ino);
    if (dirty != g_state.dirty.end()) dirty->second.resize(static_cast<size_t>(size), '\0');
}

void TruncateDurableAt(const std::string& relative) {
    const int fd = openat(g_state.root, relative.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    TruncateDurable(fd, 0);
    close(fd);
}

// A name made anew: a file made now has no durable bytes yet; any other kind
// (which may have an inode number of a removed file) has none to restore.
void NoteMade(const std::string& relative) {
    struct stat status;
    if (fstatat(g_state.root, relative.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISREG(status.st_mode) && status.st_nlink == 1) {
        g_state.dirty[status.st_ino] = std::string();
    } else if (!S_ISREG(status.st_mode)) {
        g_state.dirty.erase(status.st_ino);
    }
}

int Errno(int result) { return result < 0 ? -errno : 0; }

// The path an open file was opened by ("" when unknown).
const char* OpenedAs(const fuse_file_info* info) {
    if (info == nullptr) return "";
    const auto found = g_state.openedAs.find(static_cast<int>(info->fh));
    return found == g_state.openedAs.end() ? "" : found->second.c_str();
}

// ---- the second model's bookkeeping ----

bool InAttic(const char* path) {
    if (!g_state.unordered || path == nullptr || path[0] != '/') return false;
    const size_t length = sizeof kAttic - 1;
    return std::strncmp(path + 1, kAttic, length) == 0 && (path[1 + length] == '\0' || path[1 + length] == '/');
}

ino_t InodeAt(int directory, const std::string& name) {
    struct stat status;
    return fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? status.st_ino : 0;
}

// A name in a directory, as an entry operation changes it.
struct Entry {
    ino_t directory = 0;
    std::string directoryPath;
    std::string name;
    std::string relative;
};

Entry EntryOf(const std::string& relative) {
    Entry entry;
    entry.relative = relative;
    const size_t slash = relative.rfind('/');
    entry.directoryPath = slash == std::string::npos ? "." : relative.substr(0, slash);
    entry.name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    entry.directory = InodeAt(g_state.root, entry.directoryPath);
    return entry;
}

// Before an entry operation: what each name held at its directory's last
// sync, if it has not changed since.
void BeforeEntryChange(const std::vector<Entry>& entries) {
    if (!g_state.unordered) return;
    for (const Entry& entry : entries) {
        UnsyncedDirectory& directory = g_state.unsynced[entry.directory];
        if (directory.path.empty()) directory.path = entry.directoryPath;
        if (directory.durable.count(entry.name) == 0) {
            directory.durable[entry.name] = InodeAt(g_state.root, entry.relative);
        }
    }
}

// After it: what each name holds now, as the change of this operation.
void AfterEntryChange(const std::vector<Entry>& entries) {
    if (!g_state.unordered) return;
    const long operation = g_state.operations;
    for (const Entry& entry : entries) {
        UnsyncedDirectory& directory = g_state.unsynced[entry.directory];
        directory.changes[entry.name].push_back({operation, InodeAt(g_state.root, entry.relative)});
        if (directory.operations.empty() || directory.operations.back() != operation) {
            directory.operations.push_back(operation);
        }
    }
}

// A fresh name in the attic.
std::string AtticName() { return "r" + std::to_string(++g_state.atticNames); }

bool EmptyDirectory(const std::string& relative) {
    const int fd = openat(g_state.root, relative.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* stream = fdopendir(fd);
    if (stream == nullptr) {
        close(fd);
        return false;
    }
    bool empty = true;
    while (dirent* entry = readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) empty = false;
    }
    closedir(stream);
    return empty;
}

// Removes a name under the second model: the name goes, its inode waits in
// the attic. The errors of unlink or rmdir.
int RemoveIntoAttic(const std::string& relative, bool directory) {
    struct stat status;
    if (fstatat(g_state.root, relative.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return -errno;
    if (directory && !S_ISDIR(status.st_mode)) return -ENOTDIR;
    if (!directory && S_ISDIR(status.st_mode)) return -EISDIR;
    if (directory && !EmptyDirectory(relative)) return -ENOTEMPTY;
    return Errno(renameat(g_state.root, relative.c_str(), g_state.attic, AtticName().c_str()));
}

void PurgeTree(int directory, const std::string& name) {
    const int fd = openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        DIR* stream = fdopendir(fd);
        if (stream == nullptr) {
            close(fd);
        } else {
            std::vector<std::string> names;
            while (dirent* entry = readdir(stream)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                    names.push_back(entry->d_name);
                }
            }
            for (const std::string& inside : names) {
                if (unlinkat(fd, inside.c_str(), 0) != 0 && (errno == EISDIR || errno == EPERM)) PurgeTree(fd, inside);
            }
            closedir(stream);
        }
    }
    (void)unlinkat(directory, name.c_str(), AT_REMOVEDIR);
}

// ---- operations that change nothing ----

void* Init(fuse_conn_info*, fuse_config* config) {
    config->use_ino = 1;
    config->nullpath_ok = 1;
    config->hard_remove = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    return nullptr;
}

int GetAttr(const char* path, struct stat* status, fuse_file_info* info) {
    if (info != nullptr) return Errno(fstat(static_cast<int>(info->fh), status));
    if (InAttic(path)) return -ENOENT;
    return Errno(fstatat(g_state.root, Relative(path).c_str(), status, AT_SYMLINK_NOFOLLOW));
}

int Access(const char* path, int mask) {
    return Errno(faccessat(g_state.root, Relative(path).c_str(), mask, AT_SYMLINK_NOFOLLOW));
}

int ReadLink(const char* path, char* buffer, size_t size) {
    const ssize_t length = readlinkat(g_state.root, Relative(path).c_str(), buffer, size - 1);
    if (length < 0) return -errno;
    buffer[length] = '\0';
    return 0;
}

struct DirectoryHandle {
    DIR* stream = nullptr;
    std::string path;  // as opened
    bool root = false;
};

int OpenDir(const char* path, fuse_file_info* info) {
    if (InAttic(path)) return -ENOENT;
    const std::string relative = Relative(path);
    const int fd = openat(g_state.root, relative.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -errno;
    DIR* stream = fdopendir(fd);
    if (stream == nullptr) {
        const int error = errno;
        close(fd);
        return -error;
    }
    auto* handle = new DirectoryHandle;
    handle->stream = stream;
    handle->path = path != nullptr ? path : "";
    handle->root = relative == ".";
    info->fh = reinterpret_cast<uint64_t>(handle);
    return 0;
}

int ReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* info, fuse_readdir_flags) {
    const auto* handle = reinterpret_cast<DirectoryHandle*>(info->fh);
    DIR* stream = handle->stream;
    rewinddir(stream);
    while (dirent* entry = readdir(stream)) {
        if (handle->root && g_state.unordered && std::strcmp(entry->d_name, kAttic) == 0) continue;
        struct stat status {};
        status.st_ino = entry->d_ino;
        status.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &status, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
    }
    return 0;
}

int ReleaseDir(const char*, fuse_file_info* info) {
    auto* handle = reinterpret_cast<DirectoryHandle*>(info->fh);
    closedir(handle->stream);
    delete handle;
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    const ssize_t got = pread(static_cast<int>(info->fh), buffer, size, offset);
    return got < 0 ? -errno : static_cast<int>(got);
}

int StatFs(const char*, struct statvfs* status) { return Errno(fstatvfs(g_state.root, status)); }

int Flush(const char*, fuse_file_info*) { return 0; }

int Release(const char*, fuse_file_info* info) {
    g_state.openedAs.erase(static_cast<int>(info->fh));
    close(static_cast<int>(info->fh));
    return 0;
}

int GetXattr(const char* path, const char* name, char* value, size_t size) {
    if (std::strcmp(name, kSyncfsAttribute) == 0) {
        // The shim's word that the program called syncfs on this file system.
        if (Admit("syncfs", path)) {
            g_state.dirty.clear();
            g_state.unsynced.clear();
        }
        return -ENODATA;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(g_state.root) + "/" + Relative(path);
    const ssize_t got = lgetxattr(self.c_str(), name, value, size);
    return got < 0 ? -errno : static_cast<int>(got);
}

int ListXattr(const char* path, char* list, size_t size) {
    const std::string self = "/proc/self/fd/" + std::to_string(g_state.root) + "/" + Relative(path);
    const ssize_t got = llistxattr(self.c_str(), list, size);
    return got < 0 ? -errno : static_cast<int>(got);
}

// ---- namespace and attribute changes: durable in order ----

int MakeNode(const char* path, mode_t mode, dev_t device) {
    if (!Admit("mknod", path)) return -EIO;
    const std::string relative = Relative(path);
    const std::vector<Entry> entries = {EntryOf(relative)};
    BeforeEntryChange(entries);
    const int result = mknodat(g_state.root, relative.c_str(), mode, device);
    if (result == 0) NoteMade(relative);
    AfterEntryChange(entries);
    return Errno(result);
}

int MakeDirectory(const char* path, mode_t mode) {
    if (!Admit("mkdir", path)) return -EIO;
    const std::string relative = Relative(path);
    const std::vector<Entry> entries = {EntryOf(relative)};
    BeforeEntryChange(entries);
    const int result = mkdirat(g_state.root, relative.c_str(), mode);
    if (result == 0) NoteMade(relative);
    AfterEntryChange(entries);
    return Errno(result);
}

int Unlink(const char* path) {
    if (!Admit("unlink", path)) return -EIO;
    const std::string relative = Relative(path);
    if (!g_state.unordered) return Errno(unlinkat(g_state.root, relative.c_str(), 0));
    const std::vector<Entry> entries = {EntryOf(relative)};
    BeforeEntryChange(entries);
    const int result = RemoveIntoAttic(relative, false);
    AfterEntryChange(entries);
    return result;
}

int RemoveDirectory(const char* path) {
    if (!Admit("rmdir", path)) return -EIO;
    const std::string relative = Relative(path);
    if (!g_state.unordered) return Errno(unlinkat(g_state.root, relative.c_str(), AT_REMOVEDIR));
    const std::vector<Entry> entries = {EntryOf(relative)};
    BeforeEntryChange(entries);
    const int result = RemoveIntoAttic(relative, true);
    AfterEntryChange(entries);
    return result;
}

int Symlink(const char* text, const char* path) {
    if (!Admit("symlink", path)) return -EIO;
    const std::string relative = Relative(path);
    const std::vector<Entry> entries = {EntryOf(relative)};
    BeforeEntryChange(entries);
    const int result = symlinkat(text, g_state.root, relative.c_str());
    if (result == 0) NoteMade(relative);
    AfterEntryChange(entries);
    return Errno(result);
}

// The names a rename changes: one operation on each directory.
std::vector<Entry> RenamedEntries(const std::string& from, const std::string& to) {
    if (!g_state.unordered) return {};
    return {EntryOf(from), EntryOf(to)};
}

int Rename(const char* from, const char* to, unsigned int flags) {
    if (!Admit(flags == 0 ? "rename" : "rename2", to)) return -EIO;
    const std::string source = Relative(from);
    const std::string target = Relative(to);
    const std::vector<Entry> entries = RenamedEntries(source, target);
    BeforeEntryChange(entries);
    // Under the second model a file replaced by the rename keeps its inode in
    // the attic (a directory replaced, always empty, is not kept).
    std::string kept;
    if (g_state.unordered && flags == 0) {
        struct stat replaced;
        struct stat moved;
        if (fstatat(g_state.root, target.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(replaced.st_mode) &&
            fstatat(g_state.root, source.c_str(), &moved, AT_SYMLINK_NOFOLLOW) == 0 &&
            moved.st_ino != replaced.st_ino) {
            kept = AtticName();
            if (linkat(g_state.root, target.c_str(), g_state.attic, kept.c_str(), 0) != 0) kept.clear();
        }
    }
    const int result = renameat2(g_state.root, source.c_str(), g_state.root, target.c_str(), flags);
    const int error = errno;
    if (result != 0 && !kept.empty()) (void)unlinkat(g_state.attic, kept.c_str(), 0);
    AfterEntryChange(entries);
    return result < 0 ? -error : 0;
}

int Link(const char* from, const char* to) {
    if (!Admit("link", to)) return -EIO;
    const std::string target = Relative(to);
    const std::vector<Entry> entries = {EntryOf(target)};
    BeforeEntryChange(entries);
    const int result = linkat(g_state.root, Relative(from).c_str(), g_state.root, target.c_str(), 0);
    const int error = errno;
    AfterEntryChange(entries);
    return result < 0 ? -error : 0;
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info* info) {
    if (!Admit("chmod", path != nullptr ? path : OpenedAs(info))) return -EIO;
    if (info != nullptr) return Errno(fchmod(static_cast<int>(info->fh), mode));
    return Errno(fchmodat(g_state.root, Relative(path).c_str(), mode, 0));
}

int ChangeOwner(const char* path, uid_t user, gid_t group, fuse_file_info* info) {
    if (!Admit("chown", path != nullptr ? path : OpenedAs(info))) return -EIO;
    if (info != nullptr) return Errno(fchown(static_cast<int>(info->fh), user, group));
    return Errno(fchownat(g_state.root, Relative(path).c_str(), user, group, AT_SYMLINK_NOFOLLOW));
}

int SetTimes(const char* path, const struct timespec times[2], fuse_file_info* info) {
    if (!Admit("utimens", path != nullptr ? path : OpenedAs(info))) return -EIO;
    if (info != nullptr) return Errno(futimens(static_cast<int>(info->fh), times));
    return Errno(utimensat(g_state.root, Relative(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int SetXattr(const char* path, const char* name, const char* value, size_t size, int flags) {
    if (!Admit("setxattr", path)) return -EIO;
    const std::string self = "/proc/self/fd/" + std::to_string(g_state.root) + "/" + Relative(path);
    return Errno(lsetxattr(self.c_str(), name, value, size, flags));
}

int RemoveXattr(const char* path, const char* name) {
    if (!Admit("removexattr", path)) return -EIO;
    const std::string self = "/proc/self/fd/" + std::to_string(g_state.root) + "/" + Relative(path);
    return Errno(lremovexattr(self.c_str(), name));
}

// ---- data: durable only when synced ----

// Opens for reading too, so that the durable bytes can be read before a change.
int BackingFlags(int flags) {
    if ((flags & O_ACCMODE) == O_WRONLY) flags = (flags & ~O_ACCMODE) | O_RDWR;
    return flags | O_CLOEXEC;
}

int Create(const char* path, mode_t mode, fuse_file_info* info) {
    if (!Admit("create", path)) return -EIO;
    const std::string relative = Relative(path);
    struct stat before;
    const bool existed = fstatat(g_state.root, relative.c_str(), &before, AT_SYMLINK_NOFOLLOW) == 0;
    if (existed && (info->flags & O_TRUNC) != 0) TruncateDurableAt(relative);
    std::vector<Entry> entries;
    if (!existed) entries.push_back(EntryOf(relative));
    BeforeEntryChange(entries);
    int fd = openat(g_state.root, relative.c_str(), BackingFlags(info->flags), mode);
    if (fd < 0 && errno == EACCES) fd = openat(g_state.root, relative.c_str(), info->flags | O_CLOEXEC, mode);
    const int error = errno;
    AfterEntryChange(entries);
    if (fd < 0) return -error;
    if (!existed) NoteMade(relative);
    info->fh = static_cast<uint64_t>(fd);
    g_state.openedAs[fd] = path;
    return 0;
}

int Open(const char* path, fuse_file_info* info) {
    const std::string relative = Relative(path);
    if ((info->flags & O_TRUNC) != 0) {
        if (!Admit("open-truncate", path)) return -EIO;
        TruncateDurableAt(relative);
    }
    int fd = openat(g_state.root, relative.c_str(), BackingFlags(info->flags));
    if (fd < 0 && errno == EACCES) fd = openat(g_state.root, relative.c_str(), info->flags | O_CLOEXEC);
    if (fd < 0) return -errno;
    info->fh = static_cast<uint64_t>(fd);
    if ((info->flags & O_ACCMODE) != O_RDONLY) g_state.openedAs[fd] = path;
    return 0;
}

int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    if (!Admit("write", path != nullptr ? path : OpenedAs(info))) return -EIO;
    const int fd = static_cast<int>(info->fh);
    RememberDurable(fd);
    const ssize_t written = pwrite(fd, buffer, size, offset);
    return written < 0 ? -errno : static_cast<int>(written);
}

int Truncate(const char* path, off_t size, fuse_file_info* info) {
    if (!Admit("truncate", path != nullptr ? path : OpenedAs(info))) return -EIO;
    if (info != nullptr) {
        TruncateDurable(static_cast<int>(info->fh), size);
        return Errno(ftruncate(static_cast<int>(info->fh), size));
    }
    const std::string relative = Relative(path);
    const int fd = openat(g_state.root, relative.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -errno;
    TruncateDurable(fd, size);
    const int result = Errno(ftruncate(fd, size));
    close(fd);
    return result;
}

int Allocate(const char* path, int mode, off_t offset, off_t length, fuse_file_info* info) {
    if (!Admit("fallocate", path != nullptr ? path : OpenedAs(info))) return -EIO;
    const int fd = static_cast<int>(info->fh);
    RememberDurable(fd);
    return Errno(fallocate(fd, mode, offset, length));
}

int Sync(const char* path, int dataOnly, fuse_file_info* info) {
    if (!Admit(dataOnly != 0 ? "fdatasync" : "fsync", path != nullptr ? path : OpenedAs(info))) return -EIO;
    const int fd = static_cast<int>(info->fh);
    struct stat status;
    if (fstat(fd, &status) == 0) g_state.dirty.erase(status.st_ino);
    // The backing directory is scratch: what is durable is this model's
    // business, and a real sync per file would only slow the tests down.
    return 0;
}

// Under the second model the directory's entry operations are durable from
// here; under the first nothing changes, but a cut may come here too.
int SyncDir(const char* path, int, fuse_file_info* info) {
    const auto* handle = reinterpret_cast<const DirectoryHandle*>(info->fh);
    if (!Admit("fsyncdir", path != nullptr ? path : handle->path.c_str())) return -EIO;
    struct stat status;
    if (g_state.unordered && fstat(dirfd(handle->stream), &status) == 0) g_state.unsynced.erase(status.st_ino);
    return 0;
}

// ---- the image of the cut ----

void CollectFiles(int directory, std::map<ino_t, std::vector<std::pair<int, std::string>>>& found,
                  std::vector<int>& descriptors) {
    const int copy = dup(directory);
    if (copy < 0) return;
    DIR* stream = fdopendir(copy);
    if (stream == nullptr) {
        close(copy);
        return;
    }
    rewinddir(stream);  // the copy shares its position with `directory`, which may have been read
    while (dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (directory == g_state.root && g_state.unordered && name == kAttic) continue;
        struct stat status;
        if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(status.st_mode)) {
            const int child = openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) continue;
            descriptors.push_back(child);
            CollectFiles(child, found, descriptors);
        } else if (S_ISREG(status.st_mode) && g_state.dirty.count(status.st_ino) != 0) {
            found[status.st_ino].emplace_back(directory, name);
        }
    }
    closedir(stream);
}

// Where every inode of the backing directory (the attic included) has a
// name, and every directory open, by inode.
struct Places {
    std::map<ino_t, std::pair<ino_t, std::string>> named;  // inode: its directory's inode and a name there
    std::map<ino_t, int> directories;
    std::set<ino_t> isDirectory;
};

void Survey(int directory, ino_t inode, Places& places) {
    places.directories[inode] = directory;
    places.isDirectory.insert(inode);
    const int copy = dup(directory);
    if (copy < 0) return;
    DIR* stream = fdopendir(copy);
    if (stream == nullptr) {
        close(copy);
        return;
    }
    rewinddir(stream);  // the copy shares its position with `directory`, which may have been read
    std::vector<std::pair<std::string, ino_t>> subdirectories;
    while (dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat status;
        if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        places.named.emplace(status.st_ino, std::make_pair(inode, name));
        if (S_ISDIR(status.st_mode)) subdirectories.emplace_back(name, status.st_ino);
    }
    closedir(stream);
    for (const auto& [name, child] : subdirectories) {
        const int fd = openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) Survey(fd, child, places);
    }
}

// The second model's cut: each directory's unsynced entry operations are
// kept or lost at random, and every name is set to what the last kept
// operation left there, or to what it held at the directory's last sync.
void LoseUnsyncedEntries() {
    if (!g_state.unordered || g_state.unsynced.empty()) return;
    std::mt19937_64 random(g_state.choices);
    // The directories in the order of their first unsynced operation, so
    // that the choices depend on the run and that number only.
    std::vector<std::pair<long, ino_t>> order;
    for (const auto& [inode, directory] : g_state.unsynced) {
        if (!directory.operations.empty()) order.emplace_back(directory.operations.front(), inode);
    }
    std::sort(order.begin(), order.end());
    struct Change {
        ino_t directory;
        std::string name;
        ino_t wanted;
    };
    std::vector<Change> changes;
    for (const auto& [first, inode] : order) {
        UnsyncedDirectory& directory = g_state.unsynced[inode];
        std::set<long> lost;
        for (const long operation : directory.operations) {
            if ((random() & 1) != 0) lost.insert(operation);
        }
        for (const auto& [name, made] : directory.changes) {
            ino_t wanted = directory.durable[name];
            for (const EntryChange& change : made) {
                if (lost.count(change.operation) == 0) {
                    wanted = change.after;
                } else {
                    g_state.log.push_back("lost " + std::to_string(change.operation) + " " + directory.path + "/" + name);
                }
            }
            changes.push_back({inode, name, wanted});
        }
    }
    Places places;
    const int root = dup(g_state.root);
    struct stat rootStatus;
    if (root < 0 || fstat(root, &rootStatus) != 0) return;
    Survey(root, rootStatus.st_ino, places);
    // First every name that is to hold another inode or none is emptied
    // (into the attic), then each is given its inode: a link for a file, the
    // directory itself moved for a directory.
    std::vector<Change> giving;
    for (const Change& change : changes) {
        const auto directory = places.directories.find(change.directory);
        if (directory == places.directories.end()) continue;
        const ino_t now = InodeAt(directory->second, change.name);
        if (now == change.wanted) continue;
        if (now != 0) {
            const std::string away = AtticName();
            if (renameat(directory->second, change.name.c_str(), g_state.attic, away.c_str()) != 0) continue;
            struct stat attic;
            if (fstat(g_state.attic, &attic) == 0) {
                auto& named = places.named[now];
                if (named.first == change.directory && named.second == change.name) named = {attic.st_ino, away};
            }
        }
        if (change.wanted != 0) giving.push_back(change);
    }
    for (const Change& change : giving) {
        const auto place = places.named.find(change.wanted);
        const int directory = places.directories.at(change.directory);
        if (place == places.named.end() || places.directories.count(place->second.first) == 0) {
            g_state.log.push_back("gone " + std::to_string(change.wanted) + " for " + change.name);
            continue;
        }
        const int from = places.directories.at(place->second.first);
        if (places.isDirectory.count(change.wanted) != 0) {
            if (renameat(from, place->second.second.c_str(), directory, change.name.c_str()) == 0) {
                place->second = {change.directory, change.name};
            }
        } else {
            (void)linkat(from, place->second.second.c_str(), directory, change.name.c_str(), 0);
        }
    }
    for (const auto& [inode, fd] : places.directories) close(fd);
}

void MakeImage() {
    LoseUnsyncedEntries();
    std::map<ino_t, std::vector<std::pair<int, std::string>>> found;
    std::vector<int> descriptors;
    CollectFiles(g_state.root, found, descriptors);
    for (const auto& [inode, places] : found) {
        const auto& [directory, name] = places.front();
        struct stat status;
        if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const int fd = openat(directory, name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        const std::string& bytes = g_state.dirty[inode];
        if (ftruncate(fd, 0) == 0) {
            size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
                if (written <= 0) break;
                done += static_cast<size_t>(written);
            }
        }
        const struct timespec times[2] = {status.st_atim, status.st_mtim};
        (void)futimens(fd, times);
        (void)fchmod(fd, status.st_mode & 07777);
        close(fd);
    }
    for (const int fd : descriptors) close(fd);
    if (g_state.unordered) {
        close(g_state.attic);
        g_state.attic = -1;
        PurgeTree(g_state.root, kAttic);
    }
}

void Destroy(void*) {
    if (!g_state.cut) {
        g_state.log.push_back("end " + std::to_string(g_state.operations));
    }
    if (!g_state.killOnly) {
        MakeImage();
    } else if (g_state.unordered) {
        PurgeTree(g_state.root, kAttic);  // a kill loses nothing: what was removed stays removed
    }
    if (g_state.logFile != nullptr) {
        for (const std::string& line : g_state.log) std::fprintf(g_state.logFile, "%s\n", line.c_str());
        std::fclose(g_state.logFile);
        g_state.logFile = nullptr;
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: powercut_fs [--cut-at K | --kill-at K | --plant-at K PATH] [--unordered CHOICES] [--log FILE] "
                 "BACKING MOUNTPOINT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--cut-at" || argument == "--kill-at") && i + 1 < argc) {
            g_state.cutAt = std::strtol(argv[++i], nullptr, 10);
            g_state.killOnly = argument == "--kill-at";
        } else if (argument == "--plant-at" && i + 2 < argc) {
            g_state.plantAt = std::strtol(argv[++i], nullptr, 10);
            g_state.plantPath = argv[++i];
            g_state.killOnly = true;
        } else if (argument == "--unordered" && i + 1 < argc) {
            g_state.unordered = true;
            g_state.choices = std::strtoull(argv[++i], nullptr, 10);
        } else if (argument == "--log" && i + 1 < argc) {
            g_state.logFile = std::fopen(argv[++i], "we");
            if (g_state.logFile == nullptr) {
                std::perror(argv[i]);
                return 1;
            }
        } else if (!argument.empty() && argument[0] == '-') {
            return Usage();
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) return Usage();
    g_state.root = open(positional[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_state.root < 0) {
        std::perror(positional[0].c_str());
        return 1;
    }
    if (g_state.unordered) {
        PurgeTree(g_state.root, kAttic);  // left by a daemon that did not end
        if (mkdirat(g_state.root, kAttic, 0700) != 0 ||
            (g_state.attic = openat(g_state.root, kAttic, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0) {
            std::perror(kAttic);
            return 1;
        }
        // The image holds every directory open at once.
        struct rlimit limit;
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            (void)setrlimit(RLIMIT_NOFILE, &limit);
        }
    }

    fuse_operations operations {};
    operations.init = Init;
    operations.getattr = GetAttr;
    operations.access = Access;
    operations.readlink = ReadLink;
    operations.opendir = OpenDir;
    operations.readdir = ReadDir;
    operations.releasedir = ReleaseDir;
    operations.mknod = MakeNode;
    operations.mkdir = MakeDirectory;
    operations.symlink = Symlink;
    operations.unlink = Unlink;
    operations.rmdir = RemoveDirectory;
    operations.rename = Rename;
    operations.link = Link;
    operations.chmod = ChangeMode;
    operations.chown = ChangeOwner;
    operations.truncate = Truncate;
    operations.utimens = SetTimes;
    operations.create = Create;
    operations.open = Open;
    operations.read = Read;
    operations.write = Write;
    operations.statfs = StatFs;
    operations.flush = Flush;
    operations.release = Release;
    operations.fsync = Sync;
    operations.fsyncdir = SyncDir;
    operations.fallocate = Allocate;
    operations.setxattr = SetXattr;
    operations.getxattr = GetXattr;
    operations.listxattr = ListXattr;
    operations.removexattr = RemoveXattr;
    operations.destroy = Destroy;

    std::vector<std::string> arguments = {argv[0], positional[1], "-f", "-s", "-o",
                                          "default_permissions,allow_other,fsname=powercut,subtype=powercut"};
    std::vector<char*> vector;
    for (std::string& argument : arguments) vector.push_back(argument.data());
    return fuse_main(static_cast<int>(vector.size()), vector.data(), &operations, nullptr);
}
