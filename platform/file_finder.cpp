#include "platform/file_finder.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "base/conversion.h"

namespace {

// The directory a "*" search reads: the text before the last "/" (empty for
// "/*", which then fails to open), or the current directory when the
// specification names no directory at all.
AString DirectoryPart(const WString& spec) {
    const size_t slash = spec.rfind(u'/');
    if (slash == WString::npos) return AString(".");
    return ToMultiByte(spec.substr(0, slash));
}

AString EntryPath(const WString& spec, const AString& entry) {
    const size_t slash = spec.rfind(u'/');
    if (slash == WString::npos) return entry;
    return ToMultiByte(spec.substr(0, slash)) + "/" + entry;
}

DIR* Stream(const FileFinder& finder) { return static_cast<DIR*>(finder.directory.get()); }

}  // namespace

void DirStreamCloser::operator()(void* stream) const {
    if (stream != nullptr) ::closedir(static_cast<DIR*>(stream));
}

void InitFinder(FileFinder& finder) {
    finder.pattern = WString();
    finder.spec = WString();
    finder.name = WString();
    finder.directory.reset();
    finder.mode = 0;
}

bool FindFirstEntry(FileFinder& finder, const WString& spec) {
    finder.directory.reset();  // a search still running ends here
    finder.spec = spec;
    const size_t slash = spec.rfind(u'/');
    finder.pattern = slash == WString::npos ? spec : spec.substr(slash + 1);
    finder.mode = 0;

    if (!finder.pattern.empty() && finder.pattern.find(u'*') != WString::npos) {
        finder.name = WString();
        DIR* stream = ::opendir(DirectoryPart(spec).c_str());
        if (stream == nullptr) return false;
        finder.directory.reset(stream);
        return FindNextEntry(finder);
    }

    // Without "*" the search names one path, which either exists or not.
    finder.name = finder.pattern;
    struct stat status;
    if (::stat(ToMultiByte(spec).c_str(), &status) != 0) return false;
    finder.mode = status.st_mode;
    return true;
}

bool FindNextEntry(FileFinder& finder) {
    DIR* stream = Stream(finder);
    if (stream == nullptr) return false;
    const AString pattern = ToMultiByte(finder.pattern);
    for (;;) {
        const struct dirent* entry = ::readdir(stream);
        if (entry == nullptr) {
            finder.directory.reset();
            return false;
        }
        const int match = ::fnmatch(pattern.c_str(), entry->d_name, FNM_NOESCAPE);
        if (match == FNM_NOMATCH) continue;
        if (match != 0) return false;  // the stream stays open until CloseFinder
        const AString entryName(entry->d_name);
        finder.name = FromMultiByte(entryName);
        struct stat status;
        if (::stat(EntryPath(finder.spec, entryName).c_str(), &status) != 0) {
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

bool FindsEntry(const WString& spec) {
    FileFinder finder;
    InitFinder(finder);
    const bool found = FindFirstEntry(finder, spec);
    CloseFinder(finder);
    return found;
}
