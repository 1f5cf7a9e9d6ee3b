#include "protocol_floor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

#include "../common/bench_common.h"
#include "platform/dir_stream.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

namespace {

// The entries of `path` but "." and "..", sorted.
std::vector<std::string> SortedNames(const std::string& path) {
    std::vector<std::string> names;
    const DirStream directory(::opendir(path.c_str()));
    if (directory == nullptr) return names;
    while (const dirent* entry = ::readdir(static_cast<DIR*>(directory.get()))) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int OpenDirectory(int parent, const std::string& name) {
    return ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// One thread's share: files [from, to). False when a call failed.
std::string TemporaryOf(int thread, size_t made) { return ".floor" + std::to_string(thread) + "-" + std::to_string(made); }

bool LayShare(const std::vector<FloorFile>& files, size_t from, size_t to, int root, FloorMode mode,
              long long modifiedSeconds, int thread) {
    const struct timespec times[2] = {{modifiedSeconds, 0}, {modifiedSeconds, 0}};
    std::string current;
    OwnedDescriptor directory;
    size_t made = 0;
    for (size_t i = from; i < to; ++i) {
        const FloorFile& file = files[i];
        if (file.directory != current || directory.Get() < 0) {
            current = file.directory;
            if (mode == FloorMode::Fresh && ::mkdirat(root, current.c_str(), 0777) != 0 && errno != EEXIST) {
                return false;
            }
            directory = OwnedDescriptor(OpenDirectory(root, current));
            if (directory.Get() < 0) return false;
        }
        struct stat status {};
        const bool standing = ::fstatat(directory.Get(), file.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
        if (standing != (mode == FloorMode::Update)) return false;
        const std::string temporary = TemporaryOf(thread, made++);
        OwnedDescriptor output(::openat(directory.Get(), temporary.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0660));
        if (output.Get() < 0 || ::fstat(output.Get(), &status) != 0) return false;
        if (::write(output.Get(), file.bytes.data(), file.bytes.size()) != static_cast<ssize_t>(file.bytes.size())) {
            return false;
        }
        if (::futimens(output.Get(), times) != 0) return false;
        output.Reset();
        if (::renameat2(directory.Get(), temporary.c_str(), directory.Get(), file.name.c_str(),
                        mode == FloorMode::Update ? RENAME_EXCHANGE : RENAME_NOREPLACE) != 0) {
            return false;
        }
    }
    if (mode == FloorMode::Update) {
        current.clear();
        made = 0;
        for (size_t i = from; i < to; ++i) {
            if (files[i].directory != current) {
                current = files[i].directory;
                directory = OwnedDescriptor(OpenDirectory(root, current));
                if (directory.Get() < 0) return false;
            }
            if (::unlinkat(directory.Get(), TemporaryOf(thread, made++).c_str(), 0) != 0) return false;
        }
    }
    return true;
}

}  // namespace

std::vector<FloorFile> LoadFloorTree(const std::string& root) {
    std::vector<FloorFile> files;
    for (const std::string& directory : SortedNames(root)) {
        for (const std::string& name : SortedNames(root + "/" + directory)) {
            files.push_back({directory, name, ReadWholeFile(root + "/" + directory + "/" + name)});
        }
    }
    return files;
}

double RunFloor(const std::vector<FloorFile>& files, const std::string& target, FloorMode mode, int threads,
                long long modifiedSeconds) {
    const OwnedDescriptor root(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.Get() < 0) return -1;
    threads = std::max(threads, 1);
    std::atomic<bool> failed{false};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        const size_t from = files.size() * static_cast<size_t>(t) / static_cast<size_t>(threads);
        const size_t to = files.size() * static_cast<size_t>(t + 1) / static_cast<size_t>(threads);
        workers.emplace_back([&, from, to, t] {
            if (!LayShare(files, from, to, root.Get(), mode, modifiedSeconds, t)) failed = true;
        });
    }
    for (std::thread& worker : workers) worker.join();
    const double seconds = Seconds(Clock::now() - start);
    return failed ? -1 : seconds;
}

}  // namespace vxk5
