#include "tools/source_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/file_time_units.h"
#include "platform/entry_details.h"
#include "platform/file_entries.h"

namespace vxk5 {

namespace {

std::string Join(const std::string& base, const std::string& name) { return base.empty() ? name : base + "/" + name; }

const char* KindOf(EntryKind kind) {
    switch (kind) {
        case EntryKind::Fifo: return "a FIFO";
        case EntryKind::Socket: return "a socket";
        case EntryKind::CharacterDevice: return "a character device";
        case EntryKind::BlockDevice: return "a block device";
        default: return "not a regular file";
    }
}

struct WalkState {
    const std::string& root;
    std::vector<SourceFile>& files;
    std::vector<std::string>& warnings;
    std::string& error;
    // The directories from the root down to the one being read, by device and
    // inode (the same directory reached through another name is the same): a
    // link to any of them would loop.
    std::vector<EntryIdentity> ancestors;
    const EntryIdentity* leaveOut;
};

bool Walk(WalkState& state, const std::string& relative) {
    const std::string directoryPath = relative.empty() ? state.root : state.root + "/" + relative;
    // Read whole and closed before going down: deep trees must not hold one
    // descriptor per level.
    std::vector<std::string> names;
    if (const int failed = ListDirectory(directoryPath, names).error; failed != 0) {
        state.error = "cannot read directory " + directoryPath + ": " + std::strerror(failed);
        return false;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string childRelative = Join(relative, name);
        const std::string childPath = state.root + "/" + childRelative;
        EntryDetails info;
        if (const int failed = DescribeEntry(childPath, LinkHandling::DoNotFollow, info); failed != 0) {
            state.error = "cannot examine " + childPath + ": " + std::strerror(failed);
            return false;
        }
        if (info.kind == EntryKind::Link) {
            if (const int failed = DescribeEntry(childPath, LinkHandling::Follow, info); failed != 0) {
                if (failed == ENOENT || failed == ENOTDIR || failed == ELOOP) {
                    state.warnings.push_back("skipping dangling symbolic link " + childPath);
                    continue;
                }
                state.error = "cannot follow symbolic link " + childPath + ": " + std::strerror(failed);
                return false;
            }
        }
        if (info.kind == EntryKind::Directory) {
            const EntryIdentity identity = info.identity;
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
        if (info.kind != EntryKind::File) {
            state.warnings.push_back(std::string("skipping ") + childPath + ": " + KindOf(info.kind));
            continue;
        }
        if (state.leaveOut != nullptr && info.identity == *state.leaveOut) {
            state.warnings.push_back("leaving out " + childPath + ": it is the kit being written");
            continue;
        }
        SourceFile file;
        file.relativePath = childRelative;
        file.size = info.size;
        if (!FileTimeFromUnix(info.modifiedSeconds, info.modifiedNanoseconds, file.modified)) {
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
                     std::string& error, const EntryIdentity* leaveOut) {
    files.clear();
    EntryDetails info;
    if (const int failed = DescribeEntry(root, LinkHandling::Follow, info); failed != 0) {
        error = "cannot open " + root + ": " + std::strerror(failed);
        return false;
    }
    if (info.kind != EntryKind::Directory) {
        error = "cannot pack " + root + ": " + std::strerror(ENOTDIR);
        return false;
    }
    WalkState state{root, files, warnings, error, {info.identity}, leaveOut};
    if (!Walk(state, std::string())) return false;
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.relativePath < b.relativePath; });
    return true;
}

}  // namespace vxk5
