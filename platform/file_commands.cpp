// CreateDirectoryTree, RemoveTree, RemoveFile and MovePath: the utilities
// mkdir -p, rm -rf, rm -f and mv, started without a shell, with direct system
// calls first wherever they decide the outcome exactly as the utility would.
#include "platform/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/conversion.h"
#include "platform/command_fast_paths.h"
#include "platform/utility_process.h"

namespace vxk5 {

namespace {

std::atomic<bool> g_fastPaths{true};

enum class FastResult { Done, Failed, UseUtility };

bool IsDirectoryPath(const char* path) {
    struct stat status;
    return ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

// mkdir -p without a process: each missing component is made with mode 0777
// less the umask; components made on the way also get u+wx, as mkdir -p gives
// them, so that the next one can be made inside. Any failure the utility might
// get round (or report differently) is left to the utility.
FastResult MakeDirectoryChain(const AString& path) {
    if (IsDirectoryPath(path.c_str())) return FastResult::Done;
    std::vector<size_t> ends;  // the end of each component, in order
    const size_t length = path.length();
    for (size_t i = 0; i < length; ++i) {
        if (path[i] != '/' && (i + 1 == length || path[i + 1] == '/')) ends.push_back(i + 1);
    }
    if (ends.empty()) return FastResult::UseUtility;
    for (size_t k = 0; k < ends.size(); ++k) {
        const AString prefix = path.substr(0, ends[k]);
        if (::mkdir(prefix.c_str(), 0777) == 0) {
            if (k + 1 == ends.size()) return FastResult::Done;
            struct stat status;
            if (::stat(prefix.c_str(), &status) != 0) return FastResult::UseUtility;
            if ((status.st_mode & 0300) != 0300 && ::chmod(prefix.c_str(), (status.st_mode & 07777) | 0300) != 0) {
                return FastResult::UseUtility;
            }
            continue;
        }
        const int error = errno;
        if (error == EEXIST) {
            if (IsDirectoryPath(prefix.c_str())) continue;
            return FastResult::Failed;  // a file where a directory belongs
        }
        if (error == ENOTDIR) return FastResult::Failed;
        return FastResult::UseUtility;
    }
    return FastResult::Done;
}

[[nodiscard]] int RunMakeDirectory(const AString& path) {
    return RunUtility({"mkdir", "-p", "--", path}, ErrorOutput::Discard);
}

// unlink(2) for what rm would unlink; nothing at all for a missing path.
FastResult UnlinkNonDirectory(const AString& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? FastResult::Done : FastResult::UseUtility;
    if (S_ISDIR(status.st_mode)) return FastResult::UseUtility;
    return ::unlink(path.c_str()) == 0 ? FastResult::Done : FastResult::UseUtility;
}

// rm -rf of an empty directory is one rmdir(2); a directory with content (or
// any failure) goes to rm itself.
FastResult RemoveEmptyDirectory(const AString& path) {
    return ::rmdir(path.c_str()) == 0 ? FastResult::Done : FastResult::UseUtility;
}

// mv onto a missing target within one file system is one rename(2); a target
// that exists (mv may move into it), another file system or any odd failure
// goes to mv itself.
FastResult RenameToNewName(const AString& source, const AString& target) {
    struct stat status;
    if (::lstat(source.c_str(), &status) != 0) return errno == ENOENT ? FastResult::Failed : FastResult::UseUtility;
    if (::lstat(target.c_str(), &status) == 0 || errno != ENOENT) return FastResult::UseUtility;
    return ::rename(source.c_str(), target.c_str()) == 0 ? FastResult::Done : FastResult::UseUtility;
}

}  // namespace

void SetCommandFastPaths(bool enabled) { g_fastPaths.store(enabled, std::memory_order_relaxed); }
bool CommandFastPathsEnabled() { return g_fastPaths.load(std::memory_order_relaxed); }

uint32_t CreateDirectoryTree(const WString& path) {
    AString bytes;
    if (!ToMultiByteWhole(path, bytes)) return ERR_NOT_FOUND;  // only a shorter path could be named
    if (CommandFastPathsEnabled()) {
        const FastResult fast = MakeDirectoryChain(bytes);
        if (fast == FastResult::Done) return ERR_SUCCESS;
        if (fast == FastResult::Failed) return ERR_NOT_FOUND;
    }
    const int status = RunMakeDirectory(bytes);
    if (status == kUtilityNotStarted) return ERR_INVALID_PARAMETER;
    return status == 0 ? ERR_SUCCESS : ERR_NOT_FOUND;
}

uint32_t RemoveTree(const WString& path) {
    AString bytes;
    if (!ToMultiByteWhole(path, bytes)) return ERR_SUCCESS;  // never a shorter path: it names something else
    if (CommandFastPathsEnabled() &&
        (UnlinkNonDirectory(bytes) == FastResult::Done || RemoveEmptyDirectory(bytes) == FastResult::Done)) {
        return ERR_SUCCESS;
    }
    // Best effort, as rm -f: whatever could not go stays, and nobody waits for it.
    (void)RunUtility({"rm", "-rf", "--", bytes}, ErrorOutput::Discard);
    return ERR_SUCCESS;
}

uint32_t RemoveFile(const WString& path) {
    AString bytes;
    if (!ToMultiByteWhole(path, bytes)) return ERR_SUCCESS;
    if (CommandFastPathsEnabled() && UnlinkNonDirectory(bytes) == FastResult::Done) return ERR_SUCCESS;
    // rm's complaint (a directory, no permission) stays visible on standard error.
    (void)RunUtility({"rm", "-f", "--", bytes}, ErrorOutput::Discard);
    return ERR_SUCCESS;
}

uint32_t MovePath(const WString& source, const WString& target) {
    AString from;
    AString to;
    if (!ToMultiByteWhole(source, from) || !ToMultiByteWhole(target, to)) return ERR_NOT_FOUND;
    if (CommandFastPathsEnabled()) {
        const FastResult fast = RenameToNewName(from, to);
        if (fast == FastResult::Done) return ERR_SUCCESS;
        if (fast == FastResult::Failed) return ERR_NOT_FOUND;
    }
    const int status = RunUtility({"mv", "--", from, to}, ErrorOutput::Discard);
    if (status == kUtilityNotStarted) return ERR_INVALID_PARAMETER;
    // mv's status 1 is a failed move; any other failure (a status the utility
    // does not give for a move, or its death by a signal) is no move either.
    if (status == 0) return ERR_SUCCESS;
    return status == 1 ? ERR_NOT_FOUND : ERR_INVALID_PARAMETER;
}

}  // namespace vxk5
