#include "install/directories.h"

#include "install/path_probe.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"

namespace {

// The last "/" of `path` that is not its final unit, or npos.
size_t LastInnerSlash(const WString& path) {
    const size_t length = path.length();
    for (size_t p = length >= 2 ? length - 1 : 0; p > 0; --p) {
        if (path[p - 1] == u'/') return p - 1;
    }
    return WString::npos;
}

// "C:/...": a slash right after a drive designator has no parent to make.
bool FollowsDriveDesignator(const WString& path, size_t slash) { return slash == 2 && path[1] == u':'; }

}  // namespace

uint32_t EnsureDirectory(InstallJob& job, const WString& path) {
    if (path == u"/") return ERR_SUCCESS;
    if (IsExistingDirectory(path)) return ERR_SUCCESS;  // made before: never recorded, no utility
    const size_t slash = LastInnerSlash(path);
    if (slash == WString::npos || FollowsDriveDesignator(path, slash)) return ERR_PATH_NOT_FOUND;
    const WString parent = slash == 0 ? WString(u"/") : path.substr(0, slash);
    if (const uint32_t code = EnsureDirectory(job, parent); code != ERR_SUCCESS) return code;
    if (const uint32_t code = CreateDirectoryTree(path); code != ERR_SUCCESS) return code;
    if (!job.journal.empty()) job.journal.back().createdDirectories.push_back(path);
    return ERR_SUCCESS;
}

uint32_t EnsureDirectoryUnrecorded(const WString& path) {
    if (path == u"/") return ERR_SUCCESS;
    if (path.empty()) return ERR_PATH_NOT_FOUND;  // mkdir of "" can only fail
    if (CreateDirectoryTree(path) == ERR_SUCCESS) return ERR_SUCCESS;
    const size_t slash = path.rfind(u'/');  // a final "/" counts here
    if (slash == WString::npos || FollowsDriveDesignator(path, slash)) return ERR_PATH_NOT_FOUND;
    if (const uint32_t code = EnsureDirectoryUnrecorded(path.substr(0, slash)); code != ERR_SUCCESS) return code;
    return CreateDirectoryTree(path);
}

uint32_t PurgeDirectory(InstallJob& job, const WString& directory) {
    if (directory.empty()) return ERR_SUCCESS;
    WString prefix = directory;
    if (!(prefix == u"/" || prefix.EndsWith(u'/') || prefix.EndsWith(u'\\'))) prefix += u'/';

    FileFinder finder;
    InitFinder(finder);
    if (FindFirstEntry(finder, prefix + u"*")) {
        do {
            const WString name = GetEntryName(finder);
            if (name == u"." || name == u"..") continue;
            const WString path = prefix + name;
            // A link to a directory is removed as a link: its target is not ours.
            if (GetEntryAttributes(finder) == FILE_ATTR_DIRECTORY && IsRealDirectory(path)) {
                PurgeDirectory(job, path);
            } else {
                RemoveFile(path);
            }
        } while (FindNextEntry(finder));
    }
    CloseFinder(finder);
    // Emptied above, the directory usually goes without a process; whatever is
    // left (an entry the walk could not examine) is for rm -rf.
    return RemoveTree(directory);
}
