#include "install/directories.h"

#include <fcntl.h>

#include <vector>

#include "base/conversion.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/file_system.h"
#include "platform/platform_error.h"

namespace vxk5 {

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

namespace {

// The template directory's descriptor: the very directory the job has locked.
uint32_t OpenTemplateDirectory(InstallJob& job, const std::string& target) {
    DestinationDirectories& destinations = job.destinations;
    if (destinations.root.IsOpen()) return ERR_SUCCESS;
    const int locked = job.targetLock.Descriptor();
    const int fd = locked >= 0 ? ::fcntl(locked, F_DUPFD_CLOEXEC, 0)
                               : ::open(target.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return NoteFailure(job, target, errno);
    destinations.root.Reset(fd);
    return ERR_SUCCESS;
}

}  // namespace

uint32_t OpenDestinationDirectory(InstallJob& job, const std::string& relative, bool make, int& directory) {
    directory = -1;
    if (job.journal.empty() || job.journal.back().target.empty()) return ERR_INVALID_PARAMETER;
    const std::string& target = job.journal.back().target;  // ends with "/"
    if (const uint32_t code = OpenTemplateDirectory(job, target); code != ERR_SUCCESS) return code;
    DestinationDirectories& destinations = job.destinations;
    if (relative.empty()) {
        directory = destinations.root.Get();
        return ERR_SUCCESS;
    }
    if (const auto known = destinations.below.find(relative); known != destinations.below.end()) {
        directory = known->second.Get();
        return ERR_SUCCESS;
    }

    // Down from the deepest directory already open.
    int parent = destinations.root.Get();
    size_t start = 0;
    for (size_t slash = relative.rfind('/'); slash != std::string::npos && slash > 0;
         slash = relative.rfind('/', slash - 1)) {
        if (const auto known = destinations.below.find(relative.substr(0, slash));
            known != destinations.below.end()) {
            parent = known->second.Get();
            start = slash + 1;
            break;
        }
    }
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string prefix = relative.substr(0, end);
        const std::string name = relative.substr(start, end - start);
        const std::string path = target + prefix;
        OwnedDescriptor opened;
        int error = OpenDirectoryAt(parent, name, opened);
        if (error == ENOENT && !make) return ERR_SUCCESS;  // missing: so is everything below
        if (error == ENOENT) {
            if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MakeDirectory, path)); code != 0) {
                return code;
            }
            job.journal.back().steps.push_back({StepKind::MakeDirectory, path});
            error = InjectedFault(FaultStep::MakeDirectory, path);
            if (error == 0) error = MakeDirectoryAt(parent, name, 0777);  // the umask decides, as for mkdir -p
            const bool ours = error == 0;
            // Made by someone else meanwhile: opened all the same, never followed.
            if (error == 0 || error == EEXIST) error = OpenDirectoryAt(parent, name, opened);
            if (error == 0 && ours) {
                job.journal.back().createdDirectories.push_back(FromMultiByte(AString(path.c_str())));
            }
        }
        if (error != 0) {
            (void)NoteFailure(job, path, error);
            return ERR_NOT_FOUND;  // as for any directory the job cannot have
        }
        parent = opened.Get();
        destinations.below[prefix] = std::move(opened);
        start = end + 1;
    }
    directory = parent;
    return ERR_SUCCESS;
}

uint32_t PurgeDirectory(InstallJob& /*job*/, const WString& directory) {
    if (directory.empty()) return ERR_SUCCESS;
    const AString bytes = ToMultiByte(directory);
    std::string path(bytes.c_str(), bytes.length());
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    (void)PurgeTree(path);
    return ERR_SUCCESS;
}

}  // namespace vxk5
