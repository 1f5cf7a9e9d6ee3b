#pragma once
// Find-first/find-next directory iteration with a "*" pattern in the last
// component; a pattern without "*" tests one path.

#include <cstdint>
#include <memory>

#include "base/wstring.h"
#include "platform/dir_stream.h"

namespace vxk5 {

constexpr uint32_t FILE_ATTR_DIRECTORY = 16;

struct FileFinder {
    WString namePattern;  // the part of the pattern after the last "/"
    WString pattern;      // the search pattern
    WString name;         // the current entry's name
    DirStream directory;  // the open DIR*, if any
    uint32_t mode = 0;                                  // st_mode of the current entry
};

void InitFinder(FileFinder& finder);
// A pattern that does not convert whole to the file system's bytes finds
// nothing: a shorter path would name something else.
bool FindFirstEntry(FileFinder& finder, const WString& pattern);
bool FindNextEntry(FileFinder& finder);
WString GetEntryName(const FileFinder& finder);
uint32_t GetEntryAttributes(const FileFinder& finder);  // 16 for a directory, else 0
void CloseFinder(FileFinder& finder);

// Whether a search for `pattern` finds anything: for a path without "*",
// whether it exists (links followed).
bool FindsEntry(const WString& pattern);

}  // namespace vxk5
