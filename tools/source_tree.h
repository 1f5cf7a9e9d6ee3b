#pragma once
// The files of a kit's source directory, found recursively, with their sizes
// and last-write times, in a fixed order so that the same tree always gives
// the same kit.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_entries.h"
#include "platform/file_handle.h"

namespace vxk5 {

struct SourceFile {
    std::string relativePath;  // "/" separated, as the file system names it
    uint64_t size = 0;
    FileTime modified;  // last-write time with its full 100-nanosecond precision
};

// Lists the regular files below `root`, sorted by relative path. Symbolic
// links are followed, to files and to directories alike; a link that leads
// back into a directory being walked (a loop, told by device and inode) is not
// followed again. A dangling link and anything that is neither file nor
// directory (FIFO, socket, device) is left out with a line in `warnings`
// naming it. The file `leaveOut` (when given; the kit being written) is
// left out with a warning wherever it appears. False with `error` set when
// the tree cannot be read.
[[nodiscard]] bool ListSourceFiles(const std::string& root, std::vector<SourceFile>& files,
                                   std::vector<std::string>& warnings, std::string& error,
                                   const EntryIdentity* leaveOut = nullptr);

// The file time of a POSIX time; false before 1601.
[[nodiscard]] bool FileTimeFromUnix(int64_t seconds, int64_t nanoseconds, FileTime& time);

}  // namespace vxk5
