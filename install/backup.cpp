#include "install/backup.h"

#include <fcntl.h>

#include "base/conversion.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

std::string WithoutFinalSlash(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return trimmed;
}

std::string Bytes(const WString& text) {
    const AString bytes = ToMultiByte(text);
    return std::string(bytes.c_str(), bytes.length());
}

// Makes the backup subdirectories that `relative` needs, each once per job.
int MakeBackupParents(InstallJob& job, const std::string& backup, const std::string& relative) {
    size_t slash = relative.find('/');
    while (slash != std::string::npos) {
        const std::string directory = backup + relative.substr(0, slash);
        if (job.backupDirectories.insert(directory).second) {
            const int error = MakeDirectory(directory, 0700);
            if (error != 0 && !(error == EEXIST && IsDirectoryAt(directory))) {
                job.backupDirectories.erase(directory);
                return error;
            }
        }
        slash = relative.find('/', slash + 1);
    }
    return 0;
}

// Puts the original kept at `place` back at `name` inside `directory`.
int RestoreOne(const std::string& place, int directory, const std::string& name, const std::string& destination) {
    EntryStatus standing;
    if (const int error = ExamineEntryAt(directory, name, standing); error != 0) return error;
    if (standing.kind == EntryKind::Directory) return EISDIR;  // not the job's; left alone
    if (standing.kind != EntryKind::Missing) {
        if (const int error = InjectedFault(FaultStep::Remove, destination); error != 0) return error;
        if (const int error = RemoveEntryAt(directory, name); error != 0) return error;
    }
    if (const int error = InjectedFault(FaultStep::Restore, destination); error != 0) return error;
    return MoveEntryBetween(AT_FDCWD, place, directory, name, std::string());
}

int RestoreOne(const std::string& place, const std::string& destination) {
    return RestoreOne(place, AT_FDCWD, destination, destination);
}

// The directory holding `path`, reached from the template directory `target`
// (ending with "/") without following a link below it, and the last
// component of `path`. A path that is not below `target` is left as it
// stands (AT_FDCWD). 0, ENOENT, ELOOP for a link in the way, ENOTDIR, ...
int OpenParentBelow(const std::string& target, const std::string& path, OwnedDescriptor& parent, int& directory,
                    std::string& name) {
    directory = AT_FDCWD;
    name = path;
    if (target.empty() || path.size() <= target.size() || path.compare(0, target.size(), target) != 0) return 0;
    const std::string relative = path.substr(target.size());
    const int root = ::open(target.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return errno;
    parent.Reset(root);
    size_t start = 0;
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        if (slash > start) {
            OwnedDescriptor next;
            if (const int error = OpenDirectoryAt(parent.Get(), relative.substr(start, slash - start), next);
                error != 0) {
                return error;
            }
            parent = std::move(next);
        }
        start = slash + 1;
    }
    directory = parent.Get();
    name = relative.substr(start);
    return name.empty() ? EINVAL : 0;
}

}  // namespace

std::string JournalPathOf(const std::string& backup) { return WithoutFinalSlash(backup) + ".journal"; }
std::string StagingPathOf(const std::string& backup) { return WithoutFinalSlash(backup) + ".partial"; }

uint32_t MoveOriginalToBackup(InstallJob& job, const std::string& destination, int directory,
                              const std::string& name) {
    if (job.journal.empty() || job.journal.back().backup.empty()) return ERR_INVALID_PARAMETER;
    JournalRecord& record = job.journal.back();
    const std::string relative = destination.substr(record.target.size());
    const std::string place = record.backup + relative;
    if (const int error = MakeBackupParents(job, record.backup, relative); error != 0) {
        return NoteFailure(job, place, error);
    }
    if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MoveToBackup, destination)); code != 0) {
        return code;
    }
    record.steps.push_back({StepKind::MoveToBackup, destination});
    const std::string& from = name.empty() ? destination : name;
    int error = InjectedFault(FaultStep::MoveToBackup, destination);
    if (error == 0) error = MoveEntryBetween(directory, from, AT_FDCWD, place, StagingPathOf(record.backup));
    if (error != 0) return NoteFailure(job, destination, error);
    return ERR_SUCCESS;
}

uint32_t BackupFile(InstallJob& job, const WString& destination) {
    if (job.journal.empty() || job.journal.back().backup.empty()) return ERR_INVALID_PARAMETER;
    const std::string path = Bytes(destination);
    EntryStatus standing;
    if (const int error = ExamineEntry(path, standing); error != 0) return NoteFailure(job, path, error);
    if (standing.kind == EntryKind::Missing) return ERR_NOT_FOUND;
    if (path.compare(0, job.journal.back().target.size(), job.journal.back().target) != 0) {
        return ERR_INVALID_PARAMETER;
    }
    return MoveOriginalToBackup(job, path, AT_FDCWD, std::string());
}

void RecordNewFile(InstallJob& job, const WString& path) {
    if (!job.journal.empty()) job.journal.back().newFiles.push_back(path);
}

bool RestoreBackup(InstallJob& job, const WString& target, const WString& backup) {
    const std::string from = Bytes(backup);
    const std::string to = Bytes(target);
    std::vector<std::string> names;
    if (ListDirectory(from, names) != 0) return false;
    bool complete = true;
    for (const std::string& name : names) {
        EntryStatus status;
        if (ExamineEntry(from + name, status) != 0) {
            complete = false;
            continue;
        }
        if (status.kind == EntryKind::Directory) {
            complete = RestoreBackup(job, FromMultiByte(AString((to + name + "/").c_str())),
                                     FromMultiByte(AString((from + name + "/").c_str()))) &&
                       complete;
        } else if (RestoreOne(from + name, to + name) != 0) {
            complete = false;  // the restore goes on with the next entry
        }
    }
    return complete;
}

UndoOutcome UndoSteps(const std::vector<JournalStep>& steps, const std::string& target, const std::string& backup) {
    UndoOutcome outcome;
    auto note = [&outcome](const std::string& path, int error) {
        if (outcome.error == 0) {
            outcome.failedPath = path;
            outcome.error = error;
        }
    };
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::string& path = step->path;
        OwnedDescriptor parent;
        int directory = AT_FDCWD;
        std::string name;
        const int reached = OpenParentBelow(target, path, parent, directory, name);
        switch (step->kind) {
            case StepKind::WriteFile: {
                // Gone with its directory, or behind a link someone planted
                // since: nothing of the job's can be removed there.
                if (reached == ENOENT) break;
                if (reached != 0) {
                    note(path, reached);
                    break;
                }
                EntryStatus standing;
                if (ExamineEntryAt(directory, name, standing) != 0 || standing.kind == EntryKind::Missing ||
                    standing.kind == EntryKind::Directory) {
                    break;
                }
                int error = InjectedFault(FaultStep::Remove, path);
                if (error == 0) error = RemoveEntryAt(directory, name);
                if (error != 0) note(path, error);
                break;
            }
            case StepKind::MoveToBackup: {
                if (backup.empty() || path.compare(0, target.size(), target) != 0) break;
                const std::string place = backup + path.substr(target.size());
                EntryStatus kept;
                const int examined = ExamineEntry(place, kept);
                // No backup: the move never happened (the original is still
                // in place) or it was put back already.
                if (examined == 0 && kept.kind == EntryKind::Missing) break;
                int error = examined != 0 ? examined : reached;
                if (error == 0) error = RestoreOne(place, directory, name, path);
                if (error != 0) {
                    outcome.originalsRestored = false;
                    note(path, error);
                }
                break;
            }
            case StepKind::MakeDirectory:
                // Only an empty directory goes: what someone else put there stays.
                if (reached == 0) (void)RemoveDirectoryAt(directory, name);
                break;
        }
    }
    return outcome;
}

int DiscardBackup(const std::string& backup) {
    int first = PurgeTree(WithoutFinalSlash(backup));
    const int staging = RemoveEntry(StagingPathOf(backup));
    if (first == 0) first = staging;
    // The journal goes last: while any of the rest is left, a later start finds it.
    const int journal = first == 0 ? RemoveEntry(JournalPathOf(backup)) : 0;
    return first != 0 ? first : journal;
}

uint32_t RollbackInstall(InstallJob& job, uint32_t code) {
    if (job.journal.empty()) return code;
    const JournalRecord& record = job.journal.back();
    const UndoOutcome outcome = UndoSteps(record.steps, record.target, record.backup);
    if (outcome.error != 0 && job.failure.error == 0 && job.failure.path.empty()) {
        job.failure = InstallFailure{AString(outcome.failedPath.c_str()), outcome.error};
    }
    if (!record.backup.empty()) {
        if (outcome.originalsRestored) {
            // Every original is back in place: what is left in the backup is
            // a private copy, and failing to remove it loses nothing.
            (void)DiscardBackup(record.backup);
        } else {
            job.backupKept = true;  // the originals wait there, and the journal says where they belong
        }
    }
    job.journalFile.Close();
    // The template directory's descriptor shares the lock's open file
    // description: the lock ends only when both are closed.
    job.destinations.Clear();
    job.targetLock.Release();
    // What the job knew of the tree no longer holds: the directories it made
    // and the files it wrote are gone again.
    job.knownDirectories.clear();
    job.backupDirectories.clear();
    job.placed.clear();
    return code;
}

}  // namespace vxk5
