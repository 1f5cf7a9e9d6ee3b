// powercut_fs: a FUSE file system for tests that passes every operation
// through to a backing directory and keeps track of what a disk would hold if
// the power went off now.
//
//   powercut_fs [--cut-at K | --kill-at K | --plant-at K PATH] [--log FILE] BACKING MOUNTPOINT
//
// The model is that of a journalling file system in its usual mode (ordered
// data, as ext4 mounts by default):
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
//     that question is taken as the syncfs. fsync of a directory changes
//     nothing in this model (directory operations are in order already).
//
// Every change and every sync is a numbered "mutating operation" (1, 2, ...).
// With --cut-at K the K-th is not made: its caller is killed with SIGKILL at
// that instant (the power is off, nothing of the program runs on), and every
// later change is refused with EIO and not made. Without --cut-at (or K = 0)
// the cut comes at the unmount: a program that ended without syncing still
// loses its unsynced bytes.
//
// At the unmount the backing directory is turned into the image of the cut:
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
// kind and its path (none for operations on an open file), and a last line
// "cut K ..." or "end N".
//
// What a disk does with its cache, and a directory's own entry made durable
// only by an fsync of the directory (where a file system does not order its
// metadata), are outside the model. Syncs are not passed on to the backing
// directory: it is scratch, and durability is this model's business.
//
// Single-threaded (-s): operations are numbered in the order the kernel sends
// them, so the same run gives the same numbers. Runs as root (it passes
// operations through with its own rights; default_permissions lets the
// kernel check the caller's).

#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char kSyncfsAttribute[] = "user.powercut.syncfs";

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
};

int OpenDir(const char* path, fuse_file_info* info) {
    const int fd = openat(g_state.root, Relative(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -errno;
    DIR* stream = fdopendir(fd);
    if (stream == nullptr) {
        const int error = errno;
        close(fd);
        return -error;
    }
    info->fh = reinterpret_cast<uint64_t>(stream);
    return 0;
}

int ReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* info, fuse_readdir_flags) {
    DIR* stream = reinterpret_cast<DIR*>(info->fh);
    rewinddir(stream);
    while (dirent* entry = readdir(stream)) {
        struct stat status {};
        status.st_ino = entry->d_ino;
        status.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &status, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
    }
    return 0;
}

int ReleaseDir(const char*, fuse_file_info* info) {
    closedir(reinterpret_cast<DIR*>(info->fh));
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    const ssize_t got = pread(static_cast<int>(info->fh), buffer, size, offset);
    return got < 0 ? -errno : static_cast<int>(got);
}

int StatFs(const char*, struct statvfs* status) { return Errno(fstatvfs(g_state.root, status)); }

int Flush(const char*, fuse_file_info*) { return 0; }

int Release(const char*, fuse_file_info* info) {
    close(static_cast<int>(info->fh));
    return 0;
}

int GetXattr(const char* path, const char* name, char* value, size_t size) {
    if (std::strcmp(name, kSyncfsAttribute) == 0) {
        // The shim's word that the program called syncfs on this file system.
        if (Admit("syncfs", path)) g_state.dirty.clear();
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
    const int result = mknodat(g_state.root, relative.c_str(), mode, device);
    if (result == 0) NoteMade(relative);
    return Errno(result);
}

int MakeDirectory(const char* path, mode_t mode) {
    if (!Admit("mkdir", path)) return -EIO;
    const std::string relative = Relative(path);
    const int result = mkdirat(g_state.root, relative.c_str(), mode);
    if (result == 0) NoteMade(relative);
    return Errno(result);
}

int Unlink(const char* path) {
    if (!Admit("unlink", path)) return -EIO;
    return Errno(unlinkat(g_state.root, Relative(path).c_str(), 0));
}

int RemoveDirectory(const char* path) {
    if (!Admit("rmdir", path)) return -EIO;
    return Errno(unlinkat(g_state.root, Relative(path).c_str(), AT_REMOVEDIR));
}

int Symlink(const char* text, const char* path) {
    if (!Admit("symlink", path)) return -EIO;
    const std::string relative = Relative(path);
    const int result = symlinkat(text, g_state.root, relative.c_str());
    if (result == 0) NoteMade(relative);
    return Errno(result);
}

int Rename(const char* from, const char* to, unsigned int flags) {
    if (!Admit(flags == 0 ? "rename" : "rename2", to)) return -EIO;
    return Errno(renameat2(g_state.root, Relative(from).c_str(), g_state.root, Relative(to).c_str(), flags));
}

int Link(const char* from, const char* to) {
    if (!Admit("link", to)) return -EIO;
    return Errno(linkat(g_state.root, Relative(from).c_str(), g_state.root, Relative(to).c_str(), 0));
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info* info) {
    if (!Admit("chmod", path)) return -EIO;
    if (info != nullptr) return Errno(fchmod(static_cast<int>(info->fh), mode));
    return Errno(fchmodat(g_state.root, Relative(path).c_str(), mode, 0));
}

int ChangeOwner(const char* path, uid_t user, gid_t group, fuse_file_info* info) {
    if (!Admit("chown", path)) return -EIO;
    if (info != nullptr) return Errno(fchown(static_cast<int>(info->fh), user, group));
    return Errno(fchownat(g_state.root, Relative(path).c_str(), user, group, AT_SYMLINK_NOFOLLOW));
}

int SetTimes(const char* path, const struct timespec times[2], fuse_file_info* info) {
    if (!Admit("utimens", path)) return -EIO;
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
    int fd = openat(g_state.root, relative.c_str(), BackingFlags(info->flags), mode);
    if (fd < 0 && errno == EACCES) fd = openat(g_state.root, relative.c_str(), info->flags | O_CLOEXEC, mode);
    if (fd < 0) return -errno;
    if (!existed) NoteMade(relative);
    info->fh = static_cast<uint64_t>(fd);
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
    return 0;
}

int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    if (!Admit("write", path)) return -EIO;
    const int fd = static_cast<int>(info->fh);
    RememberDurable(fd);
    const ssize_t written = pwrite(fd, buffer, size, offset);
    return written < 0 ? -errno : static_cast<int>(written);
}

int Truncate(const char* path, off_t size, fuse_file_info* info) {
    if (!Admit("truncate", path)) return -EIO;
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
    if (!Admit("fallocate", path)) return -EIO;
    const int fd = static_cast<int>(info->fh);
    RememberDurable(fd);
    return Errno(fallocate(fd, mode, offset, length));
}

int Sync(const char* path, int dataOnly, fuse_file_info* info) {
    if (!Admit(dataOnly != 0 ? "fdatasync" : "fsync", path)) return -EIO;
    const int fd = static_cast<int>(info->fh);
    struct stat status;
    if (fstat(fd, &status) == 0) g_state.dirty.erase(status.st_ino);
    // The backing directory is scratch: what is durable is this model's
    // business, and a real sync per file would only slow the tests down.
    return 0;
}

int SyncDir(const char*, int, fuse_file_info*) { return 0; }

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
    while (dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
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

void MakeImage() {
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
}

void Destroy(void*) {
    if (!g_state.cut) {
        g_state.log.push_back("end " + std::to_string(g_state.operations));
    }
    if (!g_state.killOnly) MakeImage();
    if (g_state.logFile != nullptr) {
        for (const std::string& line : g_state.log) std::fprintf(g_state.logFile, "%s\n", line.c_str());
        std::fclose(g_state.logFile);
        g_state.logFile = nullptr;
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: powercut_fs [--cut-at K | --kill-at K | --plant-at K PATH] [--log FILE] BACKING MOUNTPOINT\n");
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
