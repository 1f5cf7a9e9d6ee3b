#pragma once
// Reading small files that decide what the installer trusts: the key files an
// administrator put in place, and a kit's signature file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/wstring.h"

namespace vxk5 {

enum class PolicyDirectory {
    Absent,        // nothing at the path (nor at the directory that would hold it)
    Protected,     // a directory that only root can change, in one that only root can change
    NotProtected,  // it, or the directory that holds it, is not root's or is writable by group or others
    NotDirectory,  // something other than a directory is at the path
    Unexaminable,  // it or the directory that holds it could not be examined
};

// Whether only root can have put in place what `directory` holds: the
// directory (links followed), the directory named before it in the path and
// the one that holds it on disk (its "..") must each be owned by root and not
// writable by group or others. A directory that would hold `directory` but is
// not protected gives NotProtected even when `directory` does not exist: its
// owner could have removed it.
PolicyDirectory ExaminePolicyDirectory(const WString& directory);

// The names (without the directory) of every entry of `directory` but "." and
// "..", sorted byte-wise. False when the directory cannot be read.
bool ListEntryNames(const WString& directory, std::vector<WString>& names);

enum class SmallFileRead {
    Read,
    Missing,      // nothing at the path
    NotRegular,   // a directory, FIFO, device...
    TooLarge,     // more than the bytes allowed
    Unreadable,   // the open or a read failed otherwise
    NotProtected, // (protected reads only) not owned by root, or writable by group or others
};

// Reads a whole regular file of at most `maxBytes` bytes. The open never
// blocks (a FIFO at the path is refused, not waited on).
SmallFileRead ReadSmallFile(const WString& path, size_t maxBytes, std::string& contents);

// As ReadSmallFile, and the file (links followed) must be owned by root and
// not writable by its group or by others: only root can have written it. The
// checks are made on the opened file, so a file swapped in after them is
// not read.
SmallFileRead ReadProtectedFile(const WString& path, size_t maxBytes, std::string& contents);

}  // namespace vxk5
