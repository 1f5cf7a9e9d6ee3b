// The directories below the template directory: opened without following a
// link, and made only once journalled.

#include "base/result_codes.h"
#include "install/transaction.h"
#include "platform/directory_open.h"
#include "platform/fault_injection.h"
#include "platform/open_file.h"

namespace vxk5 {

int Transaction::OpenBelow(int parent, const std::string& name, OwnedDescriptor& opened) {
    // Out of descriptors: the cache is emptied and the open tried once more.
    int error = OpenDirectoryAt(parent, name, opened).error;
    if (error == EMFILE || error == ENFILE) {
        destinations_.Shrink();
        error = OpenDirectoryAt(parent, name, opened).error;
    }
    return error;
}

uint32_t Transaction::OpenTemplateDirectory() {
    // The very directory that is locked.
    if (destinations_.root.IsOpen()) return ERR_SUCCESS;
    const int locked = lock_.Descriptor();
    const int error = locked >= 0 ? DuplicatePrivateDescriptor(locked, destinations_.root)
                                  : OpenNamedDirectory(record_.target, DirectoryAccess::LookUp, destinations_.root);
    if (error != 0) return Fail(record_.target, error);
    return ERR_SUCCESS;
}

uint32_t Transaction::PlanDirectories(const std::string& relative) {
    if (relative.empty() || known_.count(relative) != 0) return ERR_SUCCESS;
    // Parents first: the first prefix not known is examined, and once one is
    // missing so is everything below it.
    bool missing = false;
    for (size_t end = relative.find('/');; end = relative.find('/', end + 1)) {
        const std::string prefix = relative.substr(0, end);
        if (known_.count(prefix) == 0) {
            if (!missing) {
                int directory = -1;
                if (const uint32_t code = OpenDirectory(prefix, MissingDirectory::Leave, directory); code != 0) {
                    return code;
                }
                missing = directory < 0;
            }
            if (missing) {
                const std::string path = record_.target + prefix;
                if (const uint32_t code = WriteAhead(JournalStepLine(StepKind::MakeDirectory, path)); code != 0) {
                    return code;
                }
                directorySteps_[path] = record_.steps.Append(StepKind::MakeDirectory, path);
                planned_.insert(prefix);
            }
            known_.insert(prefix);
        }
        if (end == std::string::npos) break;
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::MakeMissingDirectory(int parent, const std::string& name, const std::string& path, int& error,
                                           bool& ours) {
    ours = false;
    if (state_ != State::Open) return Fail(path, EINVAL);
    const auto step = directorySteps_.find(path);
    if (step == directorySteps_.end()) {
        // Not foreseen (removed by someone else since): described on the
        // disk before it is made, like every other change.
        if (const uint32_t code = WriteAhead(JournalStepLine(StepKind::MakeDirectory, path)); code != 0) return code;
        const size_t record = record_.steps.Append(StepKind::MakeDirectory, path);
        if (const uint32_t code = SyncJournal(); code != 0) return code;
        directorySteps_[path] = record;
    } else if (step->second >= durableRecords_) {
        return Fail(path, EINVAL);  // planned, but not on the disk yet
    }
    error = InjectedFault(FaultStep::MakeDirectory, path);
    if (error == 0) error = MakeDirectoryAt(parent, name, 0777).error;  // the umask decides, as for mkdir -p
    ours = error == 0;
    return ERR_SUCCESS;
}

uint32_t Transaction::OpenDirectory(const std::string& relative, MissingDirectory missing, int& directory) {
    directory = -1;
    if (record_.target.empty()) return ERR_INVALID_PARAMETER;
    if (const uint32_t code = OpenTemplateDirectory(); code != ERR_SUCCESS) return code;
    if (relative.empty()) {
        directory = destinations_.root.Get();
        return ERR_SUCCESS;
    }
    if (const int cached = destinations_.Find(relative); cached >= 0) {
        directory = cached;
        return ERR_SUCCESS;
    }
    // Down from the deepest directory still cached. The descriptor walked
    // from is held here, so that making room in the cache cannot close it.
    OwnedDescriptor held;
    size_t start = 0;
    if (const uint32_t code = NearestCached(relative, held, start); code != ERR_SUCCESS) return code;
    int parent = held.IsOpen() ? held.Get() : destinations_.root.Get();
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string prefix = relative.substr(0, end);
        OwnedDescriptor opened;
        bool left = false;
        if (const uint32_t code = OpenComponent(parent, relative.substr(start, end - start), prefix, missing, opened,
                                                left);
            code != ERR_SUCCESS || left) {
            return code;
        }
        known_.insert(prefix);
        if (end == relative.size()) {
            directory = destinations_.Keep(prefix, std::move(opened));
            return ERR_SUCCESS;
        }
        held = std::move(opened);
        parent = held.Get();
        start = end + 1;
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::NearestCached(const std::string& relative, OwnedDescriptor& held, size_t& start) {
    for (size_t slash = relative.rfind('/'); slash != std::string::npos && slash > 0;
         slash = relative.rfind('/', slash - 1)) {
        if (const int cached = destinations_.Find(relative.substr(0, slash)); cached >= 0) {
            if (const int error = DuplicatePrivateDescriptor(cached, held); error != 0) {
                return Fail(record_.target + relative, error);
            }
            start = slash + 1;
            break;
        }
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::OpenComponent(int parent, const std::string& name, const std::string& prefix,
                                    MissingDirectory missing, OwnedDescriptor& opened, bool& left) {
    const std::string path = record_.target + prefix;
    int error = OpenBelow(parent, name, opened);
    left = error == ENOENT && missing == MissingDirectory::Leave;  // missing: so is everything below
    if (left) return ERR_SUCCESS;
    bool ours = false;
    if (error == ENOENT) {
        if (const uint32_t code = MakeMissingDirectory(parent, name, path, error, ours); code != ERR_SUCCESS) {
            return code;
        }
        // Made by someone else meanwhile: opened all the same, never followed.
        if (error == 0 || error == EEXIST) error = OpenBelow(parent, name, opened);
    }
    EntryIdentity identity;
    if (error == 0) error = IdentityOf(opened.Get(), identity).error;
    if (error == 0) {
        const auto known = destinations_.identities.find(prefix);
        if (known == destinations_.identities.end()) {
            destinations_.identities.emplace(prefix, identity);
        } else if (known->second != identity) {
            error = ESTALE;  // another directory took its name since it was first opened
        }
    }
    if (error == 0 && ours) {
        if (const auto step = directorySteps_.find(path); step != directorySteps_.end()) {
            record_.steps.Identify(step->second, identity);
        }
        if (const uint32_t code =
                WriteAhead(JournalIdentityLine(StepKind::MakeDirectory, identity.device, identity.inode, path));
            code != 0) {
            return code;
        }
    }
    if (error != 0) {
        (void)Fail(path, error);  // the detail only: the code is ERR_NOT_FOUND
        return ERR_NOT_FOUND;     // as for any directory that cannot be had
    }
    return ERR_SUCCESS;
}

}  // namespace vxk5
