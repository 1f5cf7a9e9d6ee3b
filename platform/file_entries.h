#pragma once
// Single-entry file-system operations for the installation transaction, on
// byte paths: each is a direct system call (or a few) and returns 0 or the
// errno value that stopped it. None of them follows a symbolic link standing
// at the path it acts on.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/owned_descriptor.h"

namespace vxk5 {

enum class EntryKind { Missing, File, Directory, Link, Other };

struct EntryStatus {
    EntryKind kind = EntryKind::Missing;
    // For a link, what it points to: Missing when it dangles.
    EntryKind target = EntryKind::Missing;
    // Whole seconds: the file's modification time, or that of a link's target.
    int64_t modified = 0;
};

// lstat(2) (and, for a link, stat(2) of its target). A path that is not there
// (ENOENT, or ENOTDIR because a parent is no directory) is 0 with Missing.
[[nodiscard]] int ExamineEntry(const std::string& path, EntryStatus& status);

// stat(2) finds a directory (a link to one counts).
bool IsDirectoryAt(const std::string& path);

// One mkdir(2).
[[nodiscard]] int MakeDirectory(const std::string& path, unsigned mode);

// unlink(2) of anything but a directory; 0 when nothing is there.
[[nodiscard]] int RemoveEntry(const std::string& path);

// rmdir(2); 0 when nothing is there.
[[nodiscard]] int RemoveDirectory(const std::string& path);

// A new entry `to` (made exclusively) with the bytes, permission bits and
// times of the file `from`, or, for a link, a link with the same text. A
// failed copy leaves no `to` behind.
[[nodiscard]] int CopyEntry(const std::string& from, const std::string& to);

// rename(2) of `from` to the free name `to`. Across file systems: a copy to
// `staging` (or straight to `to` when `staging` is empty), renamed to `to`,
// and only then is `from` removed, so that `to` exists only complete and
// `from` goes only when its copy is whole. On failure `from` is where it was.
[[nodiscard]] int MoveEntry(const std::string& from, const std::string& to, const std::string& staging);

// Deletes `path` with everything in it, never following a link. Goes on past
// failures; 0 or the first errno met.
int PurgeTree(const std::string& path);

// The same operations on a name inside an open directory (`directory` is a
// descriptor, AT_FDCWD for the current directory). The name is one component:
// nothing above it is looked up again, so a link swapped into a parent after
// the directory was opened is never followed.

// ExamineEntry of `name` in `directory`; a missing name is 0 with Missing.
[[nodiscard]] int ExamineEntryAt(int directory, const std::string& name, EntryStatus& status);

// Opens the directory `name` inside `directory` without following a link:
// 0 with `opened` set; ELOOP for a link, ENOTDIR for anything else that is
// no directory, ENOENT when nothing is there, or another errno.
[[nodiscard]] int OpenDirectoryAt(int directory, const std::string& name, OwnedDescriptor& opened);

// mkdirat(2); unlinkat(2) of anything but a directory (0 when nothing is
// there); unlinkat(2) of an empty directory (0 when nothing is there).
[[nodiscard]] int MakeDirectoryAt(int directory, const std::string& name, unsigned mode);
[[nodiscard]] int RemoveEntryAt(int directory, const std::string& name);
[[nodiscard]] int RemoveDirectoryAt(int directory, const std::string& name);

// MoveEntry from the name `from` in `fromDirectory` to the name `to` in
// `toDirectory`; `staging` is a path (or empty), as for MoveEntry.
[[nodiscard]] int MoveEntryBetween(int fromDirectory, const std::string& from, int toDirectory, const std::string& to,
                                   const std::string& staging);

// The names in `directory`, without "." and "..", in directory order.
[[nodiscard]] int ListDirectory(const std::string& directory, std::vector<std::string>& names);

// The process's current directory, ending without "/" (except "/" itself);
// empty when it cannot be had.
std::string CurrentDirectory();

}  // namespace vxk5
