#include "install/undo.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>

#include "base/two_threads.h"
#include "platform/directory_open.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

namespace {

bool Matches(int directory, const std::string& name, const JournalStep& step) {
    EntryIdentity identity;
    return step.identified && IdentityAt(directory, name, identity).error == 0 &&
           identity == EntryIdentity{step.device, step.inode};
}

// One undo: the steps' own files by destination, and what could not be undone.
class Undo {
public:
    Undo(const std::vector<JournalStep>& steps, int originals, Unrecorded unrecorded)
        : originals_(originals), unrecorded_(unrecorded) {
        // The files written at each destination, to tell the transaction's own from anyone else's.
        for (const JournalStep& step : steps) {
            if ((step.kind == StepKind::WriteFile || step.kind == StepKind::ExchangeFile) && step.identified) {
                written_[step.path].push_back(&step);
            }
        }
    }
    // `step`'s entry is reached (0) or not (errno) as `name` in `directory`.
    void Step(const JournalStep& step, const std::string& relative, int reached, int directory,
              const std::string& name) {
        switch (step.kind) {
            case StepKind::WriteFile: return UndoWrite(step, reached, directory, name);
            case StepKind::ExchangeFile: return UndoExchange(step, reached, directory, name);
            case StepKind::MoveToBackup: return UndoSetAside(step, relative, reached, directory, name);
            case StepKind::MakeDirectory: return UndoMakeDirectory(step, reached, directory, name);
        }
    }
    UndoOutcome outcome;

private:
    void UndoWrite(const JournalStep& step, int reached, int directory, const std::string& name);
    void UndoExchange(const JournalStep& step, int reached, int directory, const std::string& name);
    void PutExchangedBack(const JournalStep& step, int directory, const std::string& name, const std::string& kept);
    void UndoSetAside(const JournalStep& step, const std::string& relative, int reached, int directory,
                      const std::string& name);
    void UndoMakeDirectory(const JournalStep& step, int reached, int directory, const std::string& name);

    void Note(const std::string& path, int error) {
        if (outcome.error != 0) return;
        outcome.failedPath = path;
        outcome.error = error;
    }
    void NotRestored(const std::string& path, int error) {
        outcome.originalsRestored = false;
        outcome.notRestored.push_back(path);
        Note(path, error);
    }
    bool Own(int directory, const std::string& name, const std::string& path) const {
        const auto found = written_.find(path);
        if (found == written_.end()) return false;
        for (const JournalStep* step : found->second) {
            if (Matches(directory, name, *step)) return true;
        }
        return false;
    }

    // An unidentified working file, a regular file, is the transaction's own.
    bool OwnWorking(const EntryStatus& working) const {
        return unrecorded_ == Unrecorded::Ours && working.kind == EntryKind::File;
    }

    int originals_;
    Unrecorded unrecorded_;
    std::unordered_map<std::string, std::vector<const JournalStep*>> written_;
};

void Undo::UndoWrite(const JournalStep& step, int reached, int directory, const std::string& name) {
    if (reached == ENOENT) return;  // gone with its directory: nothing of the transaction's is left there
    if (reached != 0) return Note(step.path, reached);
    int error = 0;
    if (Matches(directory, name, step)) {
        error = InjectedFault(FaultStep::Remove, step.path);
        if (error == 0) error = RemoveEntryAt(directory, name).error;
    }
    // The file under the working name goes when it is the transaction's own.
    EntryStatus working;
    if (error == 0 && ExamineEntryAt(directory, step.temporary, working).error == 0 &&
        (step.identified ? Matches(directory, step.temporary, step) : OwnWorking(working))) {
        error = RemoveEntryAt(directory, step.temporary).error;
    }
    if (error != 0) Note(step.path, error);
}

void Undo::UndoExchange(const JournalStep& step, int reached, int directory, const std::string& name) {
    if (reached == ENOENT) return;  // nothing of the transaction's reached a missing directory
    if (reached != 0) return NotRestored(step.path, reached);
    const std::string kept = step.path.substr(0, step.path.size() - name.size()) + step.temporary;
    EntryStatus working;
    if (const int error = ExamineEntryAt(directory, step.temporary, working).error; error != 0) {
        return NotRestored(kept, error);
    }
    if (working.kind == EntryKind::Missing) {
        // Never written, or the original is back; but an original taken from
        // under its working name is lost: that is said.
        if (Own(directory, name, step.path)) NotRestored(step.path, ENOENT);
        return;
    }
    // The new file under its working name: the exchange never happened (it
    // waits for the file's identity on the disk), and the original stands
    // at its place still. Without a recorded identity the exchange never
    // happened either, and what stands there is removed only when it is
    // the transaction's own.
    if (step.identified ? Matches(directory, step.temporary, step) : OwnWorking(working)) {
        int error = InjectedFault(FaultStep::Remove, step.path);
        if (error == 0) error = RemoveEntryAt(directory, step.temporary).error;
        if (error != 0) Note(step.path, error);
        return;
    }
    if (!step.identified) return;
    PutExchangedBack(step, directory, name, kept);
}

void Undo::PutExchangedBack(const JournalStep& step, int directory, const std::string& name,
                            const std::string& kept) {
    // The original, under the working name: it goes back over the
    // transaction's file, or to an empty place; what anyone else put there
    // since is theirs, and the original then stays where it is.
    EntryStatus standing;
    int error = ExamineEntryAt(directory, name, standing).error;
    if (error == 0 && standing.kind != EntryKind::Missing && !Own(directory, name, step.path)) error = EEXIST;
    if (error == 0) error = InjectedFault(FaultStep::Restore, step.path);
    if (error == 0) {
        error = standing.kind == EntryKind::Missing ? PlaceWithoutReplacing(directory, step.temporary, name).error
                                                    : RenameAt(directory, step.temporary, directory, name).error;
    }
    if (error != 0) NotRestored(kept, error);
}

void Undo::UndoSetAside(const JournalStep& step, const std::string& relative, int reached, int directory,
                        const std::string& name) {
    if (originals_ < 0) return;
    OwnedDescriptor keptParent;
    int keptDirectory = -1;
    std::string keptName;
    const int found = OpenParentOf(originals_, relative, keptParent, keptDirectory, keptName);
    EntryStatus kept;
    int error = found != 0 && found != ENOENT ? found : 0;
    if (error == 0 && found == 0) error = ExamineEntryAt(keptDirectory, keptName, kept).error;
    EntryStatus standing;
    if (error == 0 && kept.kind == EntryKind::Missing) {
        // No original kept: the move never happened (the original is still
        // in place) or it was put back already. An empty place, or one
        // holding only the transaction's own file, means the original is
        // lost: that is said, not passed over.
        if (reached == 0 && ExamineEntryAt(directory, name, standing).error == 0 &&
            (standing.kind == EntryKind::Missing || Own(directory, name, step.path))) {
            NotRestored(step.path, ENOENT);
        }
        return;
    }
    if (error == 0) error = reached;
    if (error == 0) error = ExamineEntryAt(directory, name, standing).error;
    // Only over a file of the transaction's: what anyone else put there since is theirs.
    if (error == 0 && standing.kind != EntryKind::Missing && !Own(directory, name, step.path)) error = EEXIST;
    if (error == 0) error = InjectedFault(FaultStep::Restore, step.path);
    if (error == 0) error = RenameAt(keptDirectory, keptName, directory, name).error;
    if (error != 0) NotRestored(step.path, error);
}

void Undo::UndoMakeDirectory(const JournalStep& step, int reached, int directory, const std::string& name) {
    // Only an empty directory of the transaction's own goes: what someone
    // else put there, or made there, stays.
    if (reached != 0) return;
    // A directory that is not empty (ENOTEMPTY) holds what is not the
    // transaction's: it stays, and that loses nothing.
    if (step.identified ? Matches(directory, name, step) : true) (void)RemoveDirectoryAt(directory, name);
}

}  // namespace

UndoOutcome UndoSteps(const std::vector<JournalStep>& steps, const std::string& target, int root, int originals,
                      Unrecorded unrecorded) {
    Undo undo(steps, originals, unrecorded);
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::string& path = step->path;
        if (path.size() <= target.size() || path.compare(0, target.size(), target) != 0) continue;  // above: later
        const std::string relative = path.substr(target.size());
        OwnedDescriptor parent;
        int directory = -1;
        std::string name;
        const int reached = OpenParentOf(root, relative, parent, directory, name);
        undo.Step(*step, relative, reached, directory, name);
    }
    return undo.outcome;
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
        if (OpenDirectoryPath(slash == 0 ? "/" : path.substr(0, slash), DirectoryAccess::LookUp, parent).error != 0) {
            continue;
        }
        const std::string name = path.substr(slash + 1);
        // Only an empty directory goes; one that holds anything stays, harmlessly.
        if (step->identified ? Matches(parent.Get(), name, *step) : true) (void)RemoveDirectoryAt(parent.Get(), name);
    }
}

size_t PurgeExchangedOriginals(const StepLog& steps, const std::string& target, int root, bool syncDirectories) {
    constexpr size_t kRecordsPerShare = 1024;
    const size_t shares = (steps.Records() + kRecordsPerShare - 1) / kRecordsPerShare;
    std::atomic<size_t> removed{0};
    ShareOverTwoThreads(0, shares, [&](size_t share, bool) {
        std::string parent;  // of the directory open in `directory`
        OwnedDescriptor below;
        int directory = -1;
        size_t removedHere = 0;  // from `directory`, not yet synced
        auto leave = [&]() {
            if (removedHere != 0 && syncDirectories && directory >= 0) (void)SyncDirectory(directory);
            removed += removedHere;
            removedHere = 0;
        };
        steps.ForEachIn(share * kRecordsPerShare, (share + 1) * kRecordsPerShare,
                        [&](StepKind kind, const std::string& path, const std::string& working) {
                            if (kind != StepKind::ExchangeFile || path.size() <= target.size()) return;
                            const size_t slash = path.rfind('/');
                            const std::string relative = path.substr(target.size(), slash + 1 - target.size());
                            if (directory < 0 || relative != parent) {
                                leave();
                                parent = relative;
                                std::string name;
                                if (OpenParentOf(root, relative + "x", below, directory, name) != 0) directory = -1;
                            }
                            // An original left behind holds nothing the installation needs:
                            // the commit record stands, and the next run's files take other names.
                            if (directory >= 0 && InjectedFault(FaultStep::Remove, path) == 0 &&
                                RemoveEntryAt(directory, working).error == 0) {
                                ++removedHere;
                            }
                        });
        leave();
        return true;
    });
    return removed;
}

namespace {

// The identities of every file the steps wrote, by destination: the last
// entry of a name repeated in the kit replaced the file of its first.
std::unordered_map<std::string, std::vector<EntryIdentity>> WrittenByDestination(
    const std::vector<JournalStep>& steps) {
    std::unordered_map<std::string, std::vector<EntryIdentity>> written;
    for (const JournalStep& step : steps) {
        if ((step.kind == StepKind::WriteFile || step.kind == StepKind::ExchangeFile) && step.identified) {
            written[step.path].push_back(EntryIdentity{step.device, step.inode});
        }
    }
    return written;
}

bool HoldsOneOf(int directory, const std::string& name, const std::vector<EntryIdentity>& identities) {
    EntryIdentity standing;
    if (IdentityAt(directory, name, standing).error != 0) return false;
    return std::find(identities.begin(), identities.end(), standing) != identities.end();
}

// Makes the directories of `relative` below `originals`, 0700. 0 or errno.
int MakeParentsBelow(int originals, const std::string& relative) {
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        const int error = MakeDirectoryAt(originals, relative.substr(0, slash), 0700).error;
        if (error != 0 && error != EEXIST) return error;
    }
    return 0;
}

// Syncs `originals` and each directory of `relative` below it, parents first.
void SyncParentsBelow(int originals, const std::string& relative) {
    (void)SyncDirectory(originals);
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        OwnedDescriptor opened;
        if (OpenDirectoryAt(originals, relative.substr(0, slash), opened).error == 0) (void)SyncDirectory(opened.Get());
    }
}

}  // namespace

DirectoriesRemoved RemoveDirectoriesAfterCommit(const std::vector<DirectoryToRemove>& directories,
                                                const std::string& target, int root, bool withTarget) {
    DirectoriesRemoved done;
    for (const DirectoryToRemove& directory : directories) {
        const bool itself = directory.path + "/" == target;
        if (itself && !withTarget) continue;
        OwnedDescriptor parent;
        int at = -1;
        std::string name;
        if (itself) {
            const size_t slash = directory.path.rfind('/');
            if (slash == std::string::npos ||
                OpenNamedDirectory(slash == 0 ? "/" : directory.path.substr(0, slash), parent) != 0) {
                continue;
            }
            at = parent.Get();
            name = directory.path.substr(slash + 1);
        } else if (directory.path.size() <= target.size() ||
                   OpenParentOf(root, directory.path.substr(target.size()), parent, at, name) != 0) {
            continue;
        }
        // Only the very directory, and only empty: what anyone put there since stays, and so does it.
        EntryIdentity standing;
        if (IdentityAt(at, name, standing).error != 0 || standing != EntryIdentity{directory.device, directory.inode} ||
            RemoveDirectoryAt(at, name).error != 0) {
            continue;
        }
        (void)SyncDirectory(at);  // on the disk before the journal that names it goes
        if (itself) {
            done.target = true;
        } else {
            ++done.removed;
        }
    }
    return done;
}

void GatherExchangedOriginals(const std::vector<JournalStep>& steps, const std::string& target, int root,
                              int originals) {
    const auto written = WrittenByDestination(steps);
    for (const JournalStep& step : steps) {
        if (step.kind != StepKind::ExchangeFile || !step.identified) continue;
        if (step.path.size() <= target.size() || step.path.compare(0, target.size(), target) != 0) continue;
        const std::string relative = step.path.substr(target.size());
        OwnedDescriptor parent;
        int directory = -1;
        std::string name;
        if (OpenParentOf(root, relative, parent, directory, name) != 0) continue;
        EntryStatus kept;
        if (!HoldsOneOf(directory, name, written.at(step.path)) ||
            ExamineEntryAt(directory, step.temporary, kept).error != 0 ||
            (kept.kind != EntryKind::File && kept.kind != EntryKind::Link)) {
            continue;
        }
        // Linked into originals/ and that made durable before the working
        // name goes: a move between two directories may reach the disk half
        // done. Linked already by the commit, it only needs the working name
        // gone; a name taken by another file holds the user's original of a
        // name the kit repeats, and this one is the kit's own.
        EntryIdentity working;
        EntryIdentity there;
        int error = IdentityAt(directory, step.temporary, working).error;
        const bool linked = error == 0 && IdentityAt(originals, relative, there).error == 0 && there == working;
        if (error == 0 && !linked) error = MakeParentsBelow(originals, relative);
        if (error == 0 && !linked) error = LinkEntryAt(directory, step.temporary, originals, relative).error;
        if (error == EPERM || error == EOPNOTSUPP || error == EMLINK) {
            error = PlaceWithoutReplacing(directory, step.temporary, originals, relative).error;  // no hard links
        }
        if (error == 0) SyncParentsBelow(originals, relative);
        (void)RemoveEntryAt(directory, step.temporary);
        (void)SyncDirectory(directory);
    }
}

void PurgeExchangedOriginals(const std::vector<JournalStep>& steps, const std::string& target, int root) {
    const auto written = WrittenByDestination(steps);
    for (const JournalStep& step : steps) {
        if (step.kind != StepKind::ExchangeFile || !step.identified) continue;
        if (step.path.size() <= target.size() || step.path.compare(0, target.size(), target) != 0) continue;
        OwnedDescriptor parent;
        int directory = -1;
        std::string name;
        if (OpenParentOf(root, step.path.substr(target.size()), parent, directory, name) != 0) continue;
        // Only beside one of the transaction's own files is the working name
        // known to hold its original: a file, or a link the new file replaced.
        EntryStatus kept;
        if (HoldsOneOf(directory, name, written.at(step.path)) &&
            ExamineEntryAt(directory, step.temporary, kept).error == 0 &&
            (kept.kind == EntryKind::File || kept.kind == EntryKind::Link)) {
            // Failing, it stays as a stray file beside the installed one; nothing is lost.
            // Synced at once: the staging directory goes after this, and with it the journal.
            if (RemoveEntryAt(directory, step.temporary).error == 0) (void)SyncDirectory(directory);
        }
    }
}

}  // namespace vxk5
