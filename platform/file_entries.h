#pragma once
// Single-entry file-system operations for the installation transaction, on
// byte paths: each is a direct system call (or a few). Each returns a Failure:
// Succeeded(), or the errno value that stopped it with its code (ENOENT is
// ERR_NOT_FOUND, any other ERR_INVALID_PARAMETER) and the path or name it
// acted on (empty for an operation on a descriptor alone). Below, "0" is
// Succeeded() and an errno value the failure that carries it. None of them
// follows a symbolic link standing at the path it acts on.

#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

// What stands at a path. DescribeEntry (platform/entry_details.h) tells every
// kind apart; Other is then a type none of the others names.
enum class EntryKind { Missing, File, Directory, Link, Fifo, Socket, CharacterDevice, BlockDevice, Other };

// The identity of a file or directory: its device and inode numbers.
struct EntryIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const EntryIdentity& other) const { return device == other.device && inode == other.inode; }
    bool operator!=(const EntryIdentity& other) const { return !(*this == other); }
};

// An entry itself (a link not followed) as one look saw it: whether the same
// entry still stands there unchanged is told by all of it.
struct EntryStamp {
    EntryIdentity identity;
    uint64_t size = 0;
    int64_t seconds = 0;  // the modification time
    int64_t nanoseconds = 0;
    bool operator==(const EntryStamp& other) const {
        return identity == other.identity && size == other.size && seconds == other.seconds &&
               nanoseconds == other.nanoseconds;
    }
    bool operator!=(const EntryStamp& other) const { return !(*this == other); }
};

struct EntryStatus {
    // Missing, File, Directory, Link or Other, never a finer kind: the
    // installation treats a FIFO, a socket and a device alike, as Other.
    EntryKind kind = EntryKind::Missing;
    // For a link, what it points to in the same terms: Missing when it dangles.
    EntryKind target = EntryKind::Missing;
    // Whole seconds: the file's modification time, or that of a link's target.
    int64_t modified = 0;
    EntryStamp stamp;  // of the entry itself; empty for Missing
};

// lstat(2) (and, for a link, stat(2) of its target). A path that is not there
// (ENOENT, or ENOTDIR because a parent is no directory) is 0 with Missing.
Failure ExamineEntry(const std::string& path, EntryStatus& status);

// stat(2) finds a directory (a link to one counts).
bool IsDirectoryAt(const std::string& path);

// One mkdir(2).
Failure MakeDirectory(const std::string& path, unsigned mode);

// The same operations on a name inside an open directory (`directory` is a
// descriptor, kCurrentDirectoryDescriptor for the current directory). The
// name is one component: nothing above it is looked up again, so a link
// swapped into a parent after the directory was opened is never followed.

// Stands for the current directory where an operation below takes an open
// directory (the system's AT_FDCWD).
constexpr int kCurrentDirectoryDescriptor = -100;

// ExamineEntry of `name` in `directory`; a missing name is 0 with Missing.
Failure ExamineEntryAt(int directory, const std::string& name, EntryStatus& status);


// mkdirat(2); unlinkat(2) of anything but a directory (0 when nothing is
// there); unlinkat(2) of an empty directory (0 when nothing is there).
Failure MakeDirectoryAt(int directory, const std::string& name, unsigned mode);
Failure RemoveEntryAt(int directory, const std::string& name);
Failure RemoveDirectoryAt(int directory, const std::string& name);

// fstat(2) of an open descriptor; lstat of `name` in `directory` (never
// following a link). 0, or errno (ENOENT when nothing is there).
Failure IdentityOf(int descriptor, EntryIdentity& identity);
Failure IdentityAt(int directory, const std::string& name, EntryIdentity& identity);

// renameat(2) inside one file system: `from` in `fromDirectory` takes the
// name `to` in `toDirectory`, replacing what is there.
Failure RenameAt(int fromDirectory, const std::string& from, int toDirectory, const std::string& to);

// Gives the file `from` the name `to` in the same directory only when `to`
// is free: renameat2(RENAME_NOREPLACE); where the file system refuses that
// flag, link(2) to the new name (which fails when it is taken) and then
// unlink(2) of the old one; where it has no hard links either, rename(2)
// after an lstat found the name free. EEXIST when the name is taken: what
// stands there is left alone, and so is `from`.
Failure PlaceWithoutReplacing(int directory, const std::string& from, const std::string& to);
// The same from `from` in `fromDirectory` to `to` in `toDirectory`, on one file system.
Failure PlaceWithoutReplacing(int fromDirectory, const std::string& from, int toDirectory, const std::string& to);

// A second name `to` in `toDirectory` for the entry `from` (a link itself,
// not what it points to): linkat(2). EEXIST when the name is taken; EPERM,
// EOPNOTSUPP or EMLINK where the file system has no hard links for it.
Failure LinkEntryAt(int fromDirectory, const std::string& from, int toDirectory, const std::string& to);

// Swaps the entries `from` and `to` of one directory in one step:
// renameat2(RENAME_EXCHANGE). Both must exist (ENOENT otherwise); EINVAL
// where the file system cannot exchange.
Failure ExchangeAt(int directory, const std::string& from, const std::string& to);

// Whether this process may make and remove names in `directory` (write and
// search permission, as the kernel judges them for it, on a file system
// that is not read-only): 0 or errno (EACCES, EROFS, EPERM ...).
Failure MayChangeEntries(int directory);

// Whether the file system of `directory` exchanges two entries in one step:
// two empty directories `probe` + ".a" and + ".b" are made in it, exchanged
// and removed.
bool ExchangesEntries(int directory, const std::string& probe);

// What an opened directory descriptor is good for: looking names up in it
// (O_PATH, which needs no read permission), or reading its entries too.
enum class DirectoryAccess { LookUp, Read };

// Whether an operation that opens a directory makes it when it is missing.
enum class MissingDirectory { Leave, Make };

// Opens the directory `name` inside `directory` without following a link,
// only to look names up in it (LookUp) or to read its entries too (Read):
// 0 with `opened` set; ELOOP for a link, ENOTDIR for anything else that is
// no directory, ENOENT when nothing is there, or another errno.
Failure OpenDirectoryAt(int directory, const std::string& name, OwnedDescriptor& opened,
                        DirectoryAccess access = DirectoryAccess::LookUp);

// The directory holding `relative` (below the directory `from`), reached one
// component at a time without following a link, and the last component:
// `directory` is `from` or `parent`'s descriptor. 0, ENOENT, ELOOP for a
// link in the way, ENOTDIR, EINVAL for a `relative` ending with "/", ...
[[nodiscard]] int OpenParentOf(int from, const std::string& relative, OwnedDescriptor& parent, int& directory,
                               std::string& name);

// Makes the new file `name` inside `directory` with `mode` (less the umask)
// and opens it for writing: never through a link, never over an existing
// entry (EEXIST). 0 with `file` set, or errno.
Failure CreateNewFileAt(int directory, const std::string& name, unsigned mode, OwnedDescriptor& file);

// Opens the file `name` inside `directory` for reading, without following a
// link (ELOOP) and without waiting for a FIFO's writer or a device: examine
// what was opened before reading it. 0 with `file` set, or errno.
Failure OpenForReadingAt(int directory, const std::string& name, OwnedDescriptor& file);

// Opens the absolute directory path `path` from "/", one component at a
// time, never following a link (ELOOP when a component is one).
Failure OpenDirectoryPath(const std::string& path, DirectoryAccess access, OwnedDescriptor& opened);

// Deletes `name` in `directory` with everything in it, never following a
// link (a link is removed as a link). Goes on past failures; 0 or the first
// errno met. Holds one descriptor per level of the tree.
Failure PurgeTreeAt(int directory, const std::string& name);
// The same with the entries of the first directory that holds more than one
// shared out between two threads (a large tree goes in about half the time),
// with a descriptor more per level held by the second thread.
Failure PurgeTreeOnTwoThreadsAt(int directory, const std::string& name);

// The names in the open directory `directory` (a descriptor that can be read),
// without "." and "..".
Failure ListDirectoryAt(int directory, std::vector<std::string>& names);

// fsync(2) of the directory `directory`, so that the entries made or
// removed in it so far survive a power cut.
Failure SyncDirectory(int directory);

// The names in `directory`, without "." and "..", in directory order.
Failure ListDirectory(const std::string& directory, std::vector<std::string>& names);

// The process's current directory, ending without "/" (except "/" itself);
// empty when it cannot be had.
std::string CurrentDirectory();

}  // namespace vxk5
