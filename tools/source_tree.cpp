#include "tools/source_tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr int64_t kEpochDifferenceSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
constexpr int64_t kTicksPerSecond = 10000000;

struct DirCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

std::string Join(const std::string& base, const std::string& name) { return base.empty() ? name : base + "/" + name; }

bool Walk(const std::string& root, const std::string& relative, std::vector<SourceFile>& files, std::string& error) {
    const std::string directoryPath = relative.empty() ? root : root + "/" + relative;
    DirPtr directory(opendir(directoryPath.c_str()));
    if (!directory) {
        error = "cannot read directory " + directoryPath + ": " + std::strerror(errno);
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
        error = "cannot read directory " + directoryPath + ": " + std::strerror(errno);
        return false;
    }
    for (const std::string& name : names) {
        const std::string childRelative = Join(relative, name);
        const std::string childPath = root + "/" + childRelative;
        struct stat info {};
        if (lstat(childPath.c_str(), &info) != 0) {
            error = "cannot examine " + childPath + ": " + std::strerror(errno);
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            if (!Walk(root, childRelative, files, error)) return false;
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            if (stat(childPath.c_str(), &info) != 0) {
                error = "broken symbolic link " + childPath;
                return false;
            }
            if (S_ISDIR(info.st_mode)) continue;  // never followed: it could loop
        }
        if (!S_ISREG(info.st_mode)) {
            error = "not a regular file: " + childPath;
            return false;
        }
        SourceFile file;
        file.relativePath = childRelative;
        file.size = static_cast<uint64_t>(info.st_size);
        if (!FileTimeFromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec, file.modified)) {
            error = "last-write time before 1601: " + childPath;
            return false;
        }
        files.push_back(std::move(file));
    }
    return true;
}

}  // namespace

bool FileTimeFromUnix(int64_t seconds, int64_t nanoseconds, FileTime& time) {
    if (seconds < -kEpochDifferenceSeconds) return false;
    const uint64_t ticks = static_cast<uint64_t>(seconds + kEpochDifferenceSeconds) * kTicksPerSecond +
                           static_cast<uint64_t>(nanoseconds / 100);
    time = FileTime::FromTicks(ticks);
    return true;
}

bool ListSourceFiles(const std::string& root, std::vector<SourceFile>& files, std::string& error) {
    files.clear();
    struct stat info {};
    if (stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "not a directory: " + root;
        return false;
    }
    if (!Walk(root, std::string(), files, error)) return false;
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.relativePath < b.relativePath; });
    return true;
}
