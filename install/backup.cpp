#include "install/backup.h"

#include <unordered_map>
#include <vector>

#include "base/result_codes.h"
#include "base/two_threads.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/mounted_file_system.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

// Makes the originals/ subdirectories that `relative` needs, each once per job.
[[nodiscard]] int MakeBackupParents(InstallJob& job, const std::string& relative) {
    size_t slash = relative.find('/');
    while (slash != std::string::npos) {
        const std::string directory = relative.substr(0, slash);
        if (job.backupDirectories.insert(directory).second) {
            const int error = MakeDirectoryAt(job.staging.originals.Get(), directory, 0700).error;
            if (error != 0 && error != EEXIST) {
                job.backupDirectories.erase(directory);
                return error;
            }
        }
        slash = relative.find('/', slash + 1);
    }
    return 0;
}

// The directory holding `relative` (below the directory `from`), reached one
// component at a time without following a link, and the last component.
// 0, ENOENT, ELOOP for a link in the way, ENOTDIR, ...
[[nodiscard]] int OpenParentOf(int from, const std::string& relative, OwnedDescriptor& parent, int& directory,
                               std::string& name) {
    directory = from;
    name = relative;
    size_t start = 0;
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        if (slash > start) {
            OwnedDescriptor next;
            if (const int error = OpenDirectoryAt(directory, relative.substr(start, slash - start), next).error;
                error != 0) {
                return error;
            }
            parent = std::move(next);
            directory = parent.Get();
        }
        start = slash + 1;
    }
    name = relative.substr(start);
    return name.empty() ? EINVAL : 0;
}

bool Matches(int directory, const std::string& name, const JournalStep& step) {
    EntryIdentity identity;
    return step.identified && IdentityAt(directory, name, identity).error == 0 &&
           identity == EntryIdentity{step.device, step.inode};
}

}  // namespace

uint32_t MoveOriginalToBackup(InstallJob& job, const std::string& destination, int directory,
                              const std::string& name) {
    if (job.journal.empty() || !job.staging.IsOpen()) return ERR_INVALID_PARAMETER;
    const JournalRecord& record = job.journal.back();
    const std::string relative = destination.substr(record.target.size());
    if (const int error = MakeBackupParents(job, relative); error != 0) {
        return RecordFailure(job, job.staging.OriginalsPath() + relative, error);
    }
    int error = InjectedFault(FaultStep::MoveToBackup, destination);
    if (error == 0) error = RenameAt(directory, name, job.staging.originals.Get(), relative).error;
    if (error != 0) return RecordFailure(job, destination, error);
    return ERR_SUCCESS;
}

UndoOutcome UndoSteps(const std::vector<JournalStep>& steps, const std::string& target, int root, int originals) {
    UndoOutcome outcome;
    auto note = [&outcome](const std::string& path, int error) {
        if (outcome.error == 0) {
            outcome.failedPath = path;
            outcome.error = error;
        }
    };
    auto notRestored = [&outcome, &note](const std::string& path, int error) {
        outcome.originalsRestored = false;
        outcome.notRestored.push_back(path);
        note(path, error);
    };
    // The files the job wrote at each destination, to tell its own from anyone else's.
    std::unordered_map<std::string, std::vector<const JournalStep*>> written;
    for (const JournalStep& step : steps) {
        if ((step.kind == StepKind::WriteFile || step.kind == StepKind::ExchangeFile) && step.identified) {
            written[step.path].push_back(&step);
        }
    }
    auto jobsOwn = [&written](int directory, const std::string& name, const std::string& path) {
        const auto found = written.find(path);
        if (found == written.end()) return false;
        for (const JournalStep* step : found->second) {
            if (Matches(directory, name, *step)) return true;
        }
        return false;
    };
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::string& path = step->path;
        if (path.size() <= target.size() || path.compare(0, target.size(), target) != 0) continue;  // above: later
        const std::string relative = path.substr(target.size());
        OwnedDescriptor parent;
        int directory = -1;
        std::string name;
        const int reached = OpenParentOf(root, relative, parent, directory, name);
        switch (step->kind) {
            case StepKind::WriteFile: {
                // Gone with its directory: nothing of the job's is left there.
                if (reached == ENOENT) break;
                if (reached != 0) {
                    note(path, reached);
                    break;
                }
                int error = 0;
                if (Matches(directory, name, *step)) {
                    error = InjectedFault(FaultStep::Remove, path);
                    if (error == 0) error = RemoveEntryAt(directory, name).error;
                }
                // The temporary name is the job's own: whatever file it holds
                // was written there by this job.
                EntryStatus temporary;
                if (error == 0 && ExamineEntryAt(directory, step->temporary, temporary).error == 0 &&
                    temporary.kind == EntryKind::File) {
                    error = RemoveEntryAt(directory, step->temporary).error;
                }
                if (error != 0) note(path, error);
                break;
            }
            case StepKind::ExchangeFile: {
                if (reached == ENOENT) break;  // nothing of the job's reached a missing directory
                if (reached != 0) {
                    notRestored(path, reached);
                    break;
                }
                const std::string kept = path.substr(0, path.size() - name.size()) + step->temporary;
                EntryStatus temporary;
                int error = ExamineEntryAt(directory, step->temporary, temporary).error;
                if (error != 0) {
                    notRestored(kept, error);
                    break;
                }
                if (temporary.kind == EntryKind::Missing) {
                    // Never written, or the original is back; but an original
                    // taken from under its temporary name is lost: that is said.
                    if (jobsOwn(directory, name, path)) notRestored(path, ENOENT);
                    break;
                }
                // The new file under its temporary name: the exchange never
                // happened (it waits for the file's identity on the disk), and
                // the original stands at its place still.
                if (step->identified ? Matches(directory, step->temporary, *step) : temporary.kind == EntryKind::File) {
                    error = InjectedFault(FaultStep::Remove, path);
                    if (error == 0) error = RemoveEntryAt(directory, step->temporary).error;
                    if (error != 0) note(path, error);
                    break;
                }
                // The original, under the temporary name: it goes back over
                // the job's file, or to an empty place; what anyone else put
                // there since is theirs, and the original then stays where it is.
                EntryStatus standing;
                error = ExamineEntryAt(directory, name, standing).error;
                if (error == 0 && standing.kind != EntryKind::Missing && !jobsOwn(directory, name, path)) error = EEXIST;
                if (error == 0) error = InjectedFault(FaultStep::Restore, path);
                if (error == 0) {
                    error = standing.kind == EntryKind::Missing
                                 ? PlaceWithoutReplacing(directory, step->temporary, name).error
                                 : RenameAt(directory, step->temporary, directory, name).error;
                }
                if (error != 0) notRestored(kept, error);
                break;
            }
            case StepKind::MoveToBackup: {
                if (originals < 0) break;
                OwnedDescriptor keptParent;
                int keptDirectory = -1;
                std::string keptName;
                const int found = OpenParentOf(originals, relative, keptParent, keptDirectory, keptName);
                EntryStatus kept;
                int error = found != 0 && found != ENOENT ? found : 0;
                if (error == 0 && found == 0) error = ExamineEntryAt(keptDirectory, keptName, kept).error;
                EntryStatus standing;
                if (error == 0 && kept.kind == EntryKind::Missing) {
                    // No original kept: the move never happened (the original
                    // is still in place) or it was put back already. An empty
                    // place, or one holding only the job's own file, means
                    // the original is lost: that is said, not passed over.
                    if (reached == 0 && ExamineEntryAt(directory, name, standing).error == 0 &&
                        (standing.kind == EntryKind::Missing || jobsOwn(directory, name, path))) {
                        notRestored(path, ENOENT);
                    }
                    break;
                }
                if (error == 0) error = reached;
                if (error == 0) error = ExamineEntryAt(directory, name, standing).error;
                // Only over a file of this job's: what anyone else put there
                // since is theirs.
                if (error == 0 && standing.kind != EntryKind::Missing && !jobsOwn(directory, name, path)) {
                    error = EEXIST;
                }
                if (error == 0) error = InjectedFault(FaultStep::Restore, path);
                if (error == 0) error = RenameAt(keptDirectory, keptName, directory, name).error;
                if (error != 0) notRestored(path, error);
                break;
            }
            case StepKind::MakeDirectory:
                // Only an empty directory of the job's own goes: what someone
                // else put there, or made there, stays.
                if (reached != 0) break;
                if (step->identified ? Matches(directory, name, *step) : true) {
                    // A directory that is not empty (ENOTEMPTY) holds what is
                    // not the job's: it stays, and that loses nothing.
                    (void)RemoveDirectoryAt(directory, name);
                }
                break;
        }
    }
    return outcome;
}

void PurgeExchangedOriginals(const StepLog& steps, const std::string& target, int root) {
    constexpr size_t kRecordsPerShare = 1024;
    const size_t shares = (steps.Records() + kRecordsPerShare - 1) / kRecordsPerShare;
    ShareOverTwoThreads(0, shares, [&](size_t share, bool) {
        std::string parent;  // of the directory open in `directory`
        OwnedDescriptor below;
        int directory = -1;
        steps.ForEachIn(share * kRecordsPerShare, (share + 1) * kRecordsPerShare,
                        [&](StepKind kind, const std::string& path, const std::string& temporary) {
                            if (kind != StepKind::ExchangeFile || path.size() <= target.size()) return;
                            const size_t slash = path.rfind('/');
                            const std::string relative = path.substr(target.size(), slash + 1 - target.size());
                            if (directory < 0 || relative != parent) {
                                parent = relative;
                                std::string name;
                                if (OpenParentOf(root, relative + "x", below, directory, name) != 0) directory = -1;
                            }
                            // An original left behind holds nothing the installation needs:
                            // the commit record stands, and the next run's files take other names.
                            if (directory >= 0 && InjectedFault(FaultStep::Remove, path) == 0) {
                                (void)RemoveEntryAt(directory, temporary);
                            }
                        });
        return true;
    });
}

void PurgeExchangedOriginals(const std::vector<JournalStep>& steps, const std::string& target, int root) {
    for (const JournalStep& step : steps) {
        if (step.kind != StepKind::ExchangeFile || !step.identified) continue;
        if (step.path.size() <= target.size() || step.path.compare(0, target.size(), target) != 0) continue;
        OwnedDescriptor parent;
        int directory = -1;
        std::string name;
        if (OpenParentOf(root, step.path.substr(target.size()), parent, directory, name) != 0) continue;
        // Only beside the job's own file is the temporary name known to hold
        // its original: a file, or a link the new file replaced.
        EntryStatus kept;
        if (Matches(directory, name, step) && ExamineEntryAt(directory, step.temporary, kept).error == 0 &&
            (kept.kind == EntryKind::File || kept.kind == EntryKind::Link)) {
            // Failing, it stays as a stray file beside the installed one; nothing is lost.
            (void)RemoveEntryAt(directory, step.temporary);
        }
    }
}

void UndoDirectoriesAbove(const std::vector<JournalStep>& steps, const std::string& target) {
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->kind != StepKind::MakeDirectory) continue;
        if (step->path.size() > target.size() && step->path.compare(0, target.size(), target) == 0) continue;
        std::string path = step->path;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || path == "/") continue;
        OwnedDescriptor parent;
        if (OpenDirectoryPath(slash == 0 ? "/" : path.substr(0, slash), DirectoryAccess::LookUp, parent).error != 0) continue;
        const std::string name = path.substr(slash + 1);
        // Only an empty directory goes; one that holds anything stays, harmlessly.
        if (step->identified ? Matches(parent.Get(), name, *step) : true) (void)RemoveDirectoryAt(parent.Get(), name);
    }
}

uint32_t RollbackInstall(InstallJob& job, uint32_t code) {
    // What was held back for this moment is given back first.
    job.reserved.clear();
    job.destinations.Shrink();
    if (job.journal.empty()) return code;
    const JournalRecord& record = job.journal.back();
    if (!record.target.empty()) {
        const int root = job.destinations.root.IsOpen() ? job.destinations.root.Get() : job.targetLock.Descriptor();
        UndoOutcome outcome;
        const std::vector<JournalStep> steps = record.steps.Expand();
        if (root >= 0) {
            outcome = UndoSteps(steps, record.target, root,
                                job.staging.originals.IsOpen() ? job.staging.originals.Get() : -1);
        }
        if (outcome.error != 0 && job.failure.Empty()) {
            job.failure = FailureFromErrno(outcome.error, outcome.failedPath);
        }
        if (outcome.originalsRestored) {
            // Every original is back in place: what is left in the staging
            // directory is the job's own, and failing to remove it loses
            // nothing. The undone state reaches the disk before the journal
            // that describes it goes. A failed sync is not acted on: kept, the
            // journal would be replayed over originals already in place and
            // call them not restored; the undo itself has succeeded.
            if (root >= 0) (void)SyncFileSystemOf(root);
            job.journalFile.Close();
            (void)DiscardStaging(job.staging);  // what stays is the job's own: the next start removes it
            UnregisterStaging(job.staging);
            job.destinations.Clear();
            UndoDirectoriesAbove(steps, record.target);
        } else {
            // The originals wait there, and the journal says where they belong.
            job.backupKept = true;
            job.notRestored = outcome.notRestored;
            job.keptOriginals = job.staging.OriginalsPath();
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
    job.plannedDirectories.clear();
    job.backupDirectories.clear();
    job.placed.clear();
    return code;
}

}  // namespace vxk5
