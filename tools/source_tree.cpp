#include "tools/source_tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/file_time_units.h"

namespace vxk5 {

namespace {


struct DirCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

std::string Join(const std::string& base, const std::string& name) { return base.empty() ? name : base + "/" + name; }

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "not a regular file";
}

// A directory by its device and inode: the same directory reached through
// another name is the same identity.
struct DirectoryIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const DirectoryIdentity& other) const { return device == other.device && inode == other.inode; }
};

struct WalkState {
    const std::string& root;
    std::vector<SourceFile>& files;
    std::vector<std::string>& warnings;
    std::string& error;
    // The directories from the root down to the one being read: a link to any
    // of them would loop.
    std::vector<DirectoryIdentity> ancestors;
};

bool Walk(WalkState& state, const std::string& relative) {
    const std::string directoryPath = relative.empty() ? state.root : state.root + "/" + relative;
    DirPtr directory(opendir(directoryPath.c_str()));
    if (!directory) {
        state.error = "cannot read directory " + directoryPath + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(directory.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    if (errno != 0) {
        state.error = "cannot read directory " + directoryPath + ": " + std::strerror(errno);
        return false;
    }
    directory.reset();  // deep trees must not hold one descriptor per level
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string childRelative = Join(relative, name);
        const std::string childPath = state.root + "/" + childRelative;
        struct stat info {};
        if (lstat(childPath.c_str(), &info) != 0) {
            state.error = "cannot examine " + childPath + ": " + std::strerror(errno);
            return false;
        }
        const bool link = S_ISLNK(info.st_mode);
        if (link && stat(childPath.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
                state.warnings.push_back("skipping dangling symbolic link " + childPath);
                continue;
            }
            state.error = "cannot follow symbolic link " + childPath + ": " + std::strerror(errno);
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            const DirectoryIdentity identity{info.st_dev, info.st_ino};
            if (std::find(state.ancestors.begin(), state.ancestors.end(), identity) != state.ancestors.end()) {
                state.warnings.push_back("skipping " + childPath + ": it leads back to a directory above it (a loop)");
                continue;
            }
            state.ancestors.push_back(identity);
            const bool walked = Walk(state, childRelative);
            state.ancestors.pop_back();
            if (!walked) return false;
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            state.warnings.push_back(std::string("skipping ") + childPath + ": " + KindOf(info.st_mode));
            continue;
        }
        SourceFile file;
        file.relativePath = childRelative;
        file.size = static_cast<uint64_t>(info.st_size);
        if (!FileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec, file.modified)) {
            state.error = "last-write time before 1601: " + childPath;
            return false;
        }
        state.files.push_back(std::move(file));
    }
    return true;
}

}  // namespace

bool FileTimeFromUnix(int64_t seconds, int64_t nanoseconds, FileTime& time) {
    if (seconds < -kFileTimeEpochOffsetSeconds) return false;
    const uint64_t ticks = static_cast<uint64_t>(seconds + kFileTimeEpochOffsetSeconds) * kFileTimeTicksPerSecond +
                           static_cast<uint64_t>(nanoseconds / 100);
    time = FileTime::FromTicks(ticks);
    return true;
}

bool ListSourceFiles(const std::string& root, std::vector<SourceFile>& files, std::vector<std::string>& warnings,
                     std::string& error) {
    files.clear();
    struct stat info {};
    if (stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "not a directory: " + root;
        return false;
    }
    WalkState state{root, files, warnings, error, {DirectoryIdentity{info.st_dev, info.st_ino}}};
    if (!Walk(state, std::string())) return false;
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.relativePath < b.relativePath; });
    return true;
}

}  // namespace vxk5
