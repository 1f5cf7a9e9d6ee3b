#include "platform/file_finder.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "base/conversion.h"

namespace vxk5 {

namespace {

// The directory a "*" search reads: the text before the last "/" (empty for
// "/*", which then fails to open), or the current directory when the pattern
// names no directory at all. False when it does not convert whole.
bool DirectoryPart(const WString& pattern, AString& directory) {
    const size_t slash = pattern.rfind(u'/');
    if (slash == WString::npos) {
        directory = AString(".");
        return true;
    }
    return ToMultiByteWhole(pattern.substr(0, slash), directory);
}

AString EntryPath(const AString& directory, const WString& pattern, const AString& entry) {
    if (pattern.rfind(u'/') == WString::npos) return entry;
    return directory + "/" + entry;
}

DIR* Stream(const FileFinder& finder) { return static_cast<DIR*>(finder.directory.get()); }

}  // namespace

void InitFinder(FileFinder& finder) {
    finder.namePattern = WString();
    finder.pattern = WString();
    finder.name = WString();
    finder.directory.reset();
    finder.mode = 0;
}

bool FindFirstEntry(FileFinder& finder, const WString& pattern) {
    finder.directory.reset();  // a search still running ends here
    finder.pattern = pattern;
    const size_t slash = pattern.rfind(u'/');
    finder.namePattern = slash == WString::npos ? pattern : pattern.substr(slash + 1);
    finder.mode = 0;

    if (!finder.namePattern.empty() && finder.namePattern.find(u'*') != WString::npos) {
        finder.name = WString();
        AString directory;
        AString namePattern;
        if (!DirectoryPart(pattern, directory) || !ToMultiByteWhole(finder.namePattern, namePattern)) return false;
        DIR* stream = ::opendir(directory.c_str());
        if (stream == nullptr) return false;
        finder.directory.reset(stream);
        return FindNextEntry(finder);
    }

    // Without "*" the pattern names one path, which either exists or not.
    finder.name = finder.namePattern;
    AString path;
    if (!ToMultiByteWhole(pattern, path)) return false;
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return false;
    finder.mode = status.st_mode;
    return true;
}

bool FindNextEntry(FileFinder& finder) {
    DIR* stream = Stream(finder);
    if (stream == nullptr) return false;
    AString namePattern;
    AString directory;
    if (!ToMultiByteWhole(finder.namePattern, namePattern) || !DirectoryPart(finder.pattern, directory)) {
        finder.directory.reset();
        return false;
    }
    for (;;) {
        const struct dirent* entry = ::readdir(stream);
        if (entry == nullptr) {
            finder.directory.reset();
            return false;
        }
        const int match = ::fnmatch(namePattern.c_str(), entry->d_name, FNM_NOESCAPE);
        if (match == FNM_NOMATCH) continue;
        if (match != 0) return false;  // the stream stays open until CloseFinder
        const AString entryName(entry->d_name);
        finder.name = FromMultiByte(entryName);
        struct stat status;
        if (::stat(EntryPath(directory, finder.pattern, entryName).c_str(), &status) != 0) {
            finder.mode = 0;
            return false;
        }
        finder.mode = status.st_mode;
        return true;
    }
}

WString GetEntryName(const FileFinder& finder) { return finder.name; }

uint32_t GetEntryAttributes(const FileFinder& finder) {
    return S_ISDIR(finder.mode) ? FILE_ATTR_DIRECTORY : 0;
}

void CloseFinder(FileFinder& finder) { InitFinder(finder); }

bool FindsEntry(const WString& pattern) {
    FileFinder finder;
    InitFinder(finder);
    const bool found = FindFirstEntry(finder, pattern);
    CloseFinder(finder);
    return found;
}

}  // namespace vxk5
