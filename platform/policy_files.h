#pragma once
// Reading small files that decide what the installer trusts: the key files an
// administrator put in place, and a kit's signature file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/wstring.h"

namespace vxk5 {

// The names (without the directory) of the entries of `directory` whose names
// end with `suffix` and are longer than it, sorted byte-wise; empty when the
// directory is missing or cannot be read.
std::vector<WString> ListNamesEndingWith(const WString& directory, const char* suffix);

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
