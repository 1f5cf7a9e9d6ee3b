#pragma once
// The exact state of a directory tree as text, for "old or new, exactly":
// every entry's name, kind, permission bits (set-id included) and owner; a
// file's bytes, size and modification time to the nanosecond and the names it
// shares its inode with; a link's text and time. A directory's times change
// with every entry made or removed in it, rolled back or not, so only its
// name, mode and owner count.

#include <string>
#include <vector>

// A file of more than 4 KiB is given by its size and a hash of its bytes.
std::string TreeState(const std::string& root);

// Empty when `expected` and `actual` (texts of lines, such as TreeState's)
// are equal; otherwise the first few lines that one has and the other lacks.
std::string StateDifference(const std::string& expected, const std::string& actual);

// Regular files of 0 bytes below `root` (relative names).
std::vector<std::string> EmptyFiles(const std::string& root);

// Copies `from` to `to` (made anew) as `cp -a` does: modes, owners, times,
// links and hard links kept.
bool CopyTree(const std::string& from, const std::string& to);
