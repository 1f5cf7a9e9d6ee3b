#include "install/directories.h"

#include <vector>

#include "base/conversion.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/file_system.h"

namespace {

// "C:/...": a slash right after a drive designator has no parent to make.
bool FollowsDriveDesignator(const WString& path, size_t slash) { return slash == 2 && path[1] == u':'; }

}  // namespace

uint32_t EnsureDirectory(InstallJob& job, const WString& path) {
    if (path.length() >= 3 && FollowsDriveDesignator(path, 2) && path[2] == u'/') return ERR_PATH_NOT_FOUND;
    const AString bytes = ToMultiByte(path);
    return EnsureDirectoryBytes(job, std::string(bytes.c_str(), bytes.length()), path);
}

uint32_t EnsureDirectoryBytes(InstallJob& job, const std::string& path, const WString& asGiven) {
    std::string directory = path;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory.empty() || directory == "/") return ERR_SUCCESS;
    if (job.knownDirectories.count(directory) != 0) return ERR_SUCCESS;
    if (IsDirectoryAt(directory)) {
        job.knownDirectories.insert(directory);
        return ERR_SUCCESS;
    }

    // The missing directories, deepest first, up to the first that exists.
    std::vector<std::string> missing{directory};
    for (std::string current = directory;;) {
        const size_t slash = current.rfind('/');
        if (slash == std::string::npos || slash == 0) break;  // the current directory or "/" is there
        current.resize(slash);
        while (current.size() > 1 && current.back() == '/') current.pop_back();
        if (current == "/" || job.knownDirectories.count(current) != 0 || IsDirectoryAt(current)) break;
        missing.push_back(current);
    }

    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MakeDirectory, *made)); code != 0) {
            return code;
        }
        if (!job.journal.empty()) job.journal.back().steps.push_back({StepKind::MakeDirectory, *made});
        int error = InjectedFault(FaultStep::MakeDirectory, *made);
        if (error == 0) error = MakeDirectory(*made, 0777);  // the umask decides, as for mkdir -p
        if (error == EEXIST && IsDirectoryAt(*made)) {
            job.knownDirectories.insert(*made);  // made by someone else meanwhile: not ours
            continue;
        }
        if (error != 0) {
            (void)NoteFailure(job, *made, error);
            return ERR_NOT_FOUND;
        }
        job.knownDirectories.insert(*made);
        if (!job.journal.empty()) {
            job.journal.back().createdDirectories.push_back(
                made == missing.rend() - 1 && !asGiven.empty() ? asGiven : FromMultiByte(AString(made->c_str())));
        }
    }
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

uint32_t PurgeDirectory(InstallJob& /*job*/, const WString& directory) {
    if (directory.empty()) return ERR_SUCCESS;
    const AString bytes = ToMultiByte(directory);
    std::string path(bytes.c_str(), bytes.length());
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    (void)PurgeTree(path);
    return ERR_SUCCESS;
}
