#include "install/directories.h"

#include <vector>

#include "base/result_codes.h"
#include "platform/fault_injection.h"
#include "platform/directory_open.h"
#include "platform/file_entries.h"
#include "platform/open_file.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

// Opens `name` in `parent` without following a link; when the process is out
// of descriptors the cache is emptied and the open tried once more.
[[nodiscard]] int OpenBelow(InstallJob& job, int parent, const std::string& name, OwnedDescriptor& opened) {
    int error = OpenDirectoryAt(parent, name, opened).error;
    if (error == EMFILE || error == ENFILE) {
        job.destinations.Shrink();
        error = OpenDirectoryAt(parent, name, opened).error;
    }
    return error;
}

// The template directory's descriptor: the very directory the job has locked.
[[nodiscard]] uint32_t OpenTemplateDirectory(InstallJob& job, const std::string& target) {
    DestinationDirectories& destinations = job.destinations;
    if (destinations.root.IsOpen()) return ERR_SUCCESS;
    const int locked = job.targetLock.Descriptor();
    const int error = locked >= 0 ? DuplicatePrivateDescriptor(locked, destinations.root)
                                  : OpenNamedDirectory(target, DirectoryAccess::LookUp, destinations.root);
    if (error != 0) return RecordFailure(job, target, error);
    return ERR_SUCCESS;
}

}  // namespace

uint32_t MakeTemplateDirectory(InstallJob& job, const std::string& path) {
    std::string directory = path;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory == "/" || IsDirectoryAt(directory)) return ERR_SUCCESS;
    // Only an absolute path has a parent to make ("C:/..." has none here).
    if (directory.empty() || directory[0] != '/') return ERR_PATH_NOT_FOUND;

    // The missing directories, deepest first, up to the first that exists.
    std::vector<std::string> missing{directory};
    for (std::string current = directory;;) {
        const size_t slash = current.rfind('/');
        if (slash == std::string::npos || slash == 0) break;  // "/" is there
        current.resize(slash);
        while (current.size() > 1 && current.back() == '/') current.pop_back();
        if (current == "/" || IsDirectoryAt(current)) break;
        missing.push_back(current);
    }
    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        int error = InjectedFault(FaultStep::MakeDirectory, *made);
        if (error == 0) error = MakeDirectory(*made, 0777).error;  // the umask decides, as for mkdir -p
        if (error == EEXIST && IsDirectoryAt(*made)) continue;  // made by someone else meanwhile: not ours
        if (error != 0) {
            (void)RecordFailure(job, *made, error);  // the detail only: the code is ERR_NOT_FOUND
            return ERR_NOT_FOUND;
        }
        if (!job.journal.empty()) job.journal.back().madeAbove.push_back(*made);
    }
    return ERR_SUCCESS;
}

uint32_t PlanDirectories(InstallJob& job, const std::string& relative) {
    if (relative.empty() || job.knownDirectories.count(relative) != 0) return ERR_SUCCESS;
    const std::string& target = job.journal.back().target;
    // Parents first: the first prefix not known is examined, and once one is
    // missing so is everything below it.
    bool missing = false;
    for (size_t end = relative.find('/');; end = relative.find('/', end + 1)) {
        const std::string prefix = relative.substr(0, end);
        if (job.knownDirectories.count(prefix) == 0) {
            if (!missing) {
                int directory = -1;
                if (const uint32_t code = OpenDestinationDirectory(job, prefix, MissingDirectory::Leave, directory); code != 0) {
                    return code;
                }
                missing = directory < 0;
            }
            if (missing) {
                const std::string path = target + prefix;
                if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MakeDirectory, path)); code != 0) {
                    return code;
                }
                job.directorySteps[path] = job.journal.back().steps.Append(StepKind::MakeDirectory, path);
                job.plannedDirectories.insert(prefix);
            }
            job.knownDirectories.insert(prefix);
        }
        if (end == std::string::npos) break;
    }
    return ERR_SUCCESS;
}

uint32_t OpenDestinationDirectory(InstallJob& job, const std::string& relative, MissingDirectory missing,
                                  int& directory) {
    directory = -1;
    if (job.journal.empty() || job.journal.back().target.empty()) return ERR_INVALID_PARAMETER;
    const std::string& target = job.journal.back().target;  // ends with "/"
    if (const uint32_t code = OpenTemplateDirectory(job, target); code != ERR_SUCCESS) return code;
    DestinationDirectories& destinations = job.destinations;
    if (relative.empty()) {
        directory = destinations.root.Get();
        return ERR_SUCCESS;
    }
    if (const int cached = destinations.Find(relative); cached >= 0) {
        directory = cached;
        return ERR_SUCCESS;
    }

    // Down from the deepest directory still cached. The descriptor walked
    // from is held here, so that making room in the cache cannot close it.
    OwnedDescriptor held;
    int parent = destinations.root.Get();
    size_t start = 0;
    for (size_t slash = relative.rfind('/'); slash != std::string::npos && slash > 0;
         slash = relative.rfind('/', slash - 1)) {
        if (const int cached = destinations.Find(relative.substr(0, slash)); cached >= 0) {
            if (const int error = DuplicatePrivateDescriptor(cached, held); error != 0) {
                return RecordFailure(job, target + relative, error);
            }
            parent = held.Get();
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
        int error = OpenBelow(job, parent, name, opened);
        if (error == ENOENT && missing == MissingDirectory::Leave) return ERR_SUCCESS;  // missing: so is everything below
        bool ours = false;
        if (error == ENOENT) {
            JournalRecord& record = job.journal.back();
            if (job.directorySteps.count(path) == 0) {
                // Not foreseen (removed by someone else since): described on
                // the disk before it is made, like every other change.
                if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MakeDirectory, path)); code != 0) {
                    return code;
                }
                if (const uint32_t code = SyncJournal(job); code != 0) return code;
                job.directorySteps[path] = record.steps.Append(StepKind::MakeDirectory, path);
            }
            error = InjectedFault(FaultStep::MakeDirectory, path);
            if (error == 0) error = MakeDirectoryAt(parent, name, 0777).error;  // the umask decides, as for mkdir -p
            ours = error == 0;
            // Made by someone else meanwhile: opened all the same, never followed.
            if (error == 0 || error == EEXIST) error = OpenBelow(job, parent, name, opened);
        }
        EntryIdentity identity;
        if (error == 0) error = IdentityOf(opened.Get(), identity).error;
        if (error == 0) {
            const auto known = destinations.identities.find(prefix);
            if (known == destinations.identities.end()) {
                destinations.identities.emplace(prefix, identity);
            } else if (known->second != identity) {
                error = ESTALE;  // another directory took its name since the job first opened it
            }
        }
        if (error == 0 && ours) {
            if (const auto step = job.directorySteps.find(path); step != job.directorySteps.end()) {
                job.journal.back().steps.Identify(step->second, identity);
            }
            if (const uint32_t code = WriteAhead(job, JournalIdentityLine(StepKind::MakeDirectory, identity.device,
                                                                          identity.inode, path));
                code != 0) {
                return code;
            }
        }
        if (error != 0) {
            (void)RecordFailure(job, path, error);  // the detail only: the code is ERR_NOT_FOUND
            return ERR_NOT_FOUND;  // as for any directory the job cannot have
        }
        job.knownDirectories.insert(prefix);
        if (end == relative.size()) {
            directory = destinations.Keep(prefix, std::move(opened));
            return ERR_SUCCESS;
        }
        held = std::move(opened);
        parent = held.Get();
        start = end + 1;
    }
    return ERR_SUCCESS;
}

}  // namespace vxk5
