#pragma once
// The files of a kit's source directory, found recursively, with their sizes
// and last-write times, in a fixed order so that the same tree always gives
// the same kit.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_handle.h"

struct SourceFile {
    std::string relativePath;  // "/" separated, as the file system names it
    uint64_t size = 0;
    FileTime modified;  // last-write time with its full 100-nanosecond precision
};

// Lists the regular files below `root` (symbolic links to files count as
// files; directories are walked but are not listed, links to directories are
// not followed), sorted by relative path. False with `error` set when the tree
// cannot be read or holds something that is neither file nor directory.
[[nodiscard]] bool ListSourceFiles(const std::string& root, std::vector<SourceFile>& files, std::string& error);

// The file time of a POSIX time; false before 1601.
[[nodiscard]] bool FileTimeFromUnix(int64_t seconds, int64_t nanoseconds, FileTime& time);
