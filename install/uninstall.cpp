#include "install/uninstall.h"

#include <cerrno>
#include <cstdint>

#include "base/conversion.h"
#include "install/kept_generation.h"
#include "install/record_store.h"
#include "platform/directory_open.h"
#include "platform/file_entries.h"
#include "platform/open_file.h"

namespace vxk5 {

namespace {

enum class Verdict { Remove, KeepChanged, Missing };

// A file taken out: its record in the journal and the file as judged.
struct Removal {
    size_t record = 0;
    size_t restore = SIZE_MAX;  // the record bringing back the original it replaced, if kept
    std::string parent;
    std::string name;
    EntryStamp judged;
};

void SplitRelative(const std::string& relative, std::string& parent, std::string& name) {
    const size_t slash = relative.rfind('/');
    parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    name = slash == std::string::npos ? relative : relative.substr(slash + 1);
}

// Still the file the installation placed: the same file (its identity), its
// size and its modification time as the installation gave them. (Its time
// of status change cannot tell: every rename changes it, and so does putting
// a file back after a failed uninstall.)
Verdict Judge(const InstallationRecord& record, const RecordedFile& file, const EntryStatus& status) {
    if (status.kind == EntryKind::Missing) return Verdict::Missing;
    const EntryStamp& stamp = status.stamp;
    const bool same = status.kind == EntryKind::File && stamp.identity.device == record.targetIdentity.device &&
                      stamp.identity.inode == file.inode && stamp.size == file.size && stamp.seconds == file.modified;
    return same ? Verdict::Remove : Verdict::KeepChanged;
}

// The directory `relative` below `root`, each component opened without
// following a link. 0, ENOENT, ELOOP, ENOTDIR or errno.
int OpenBelow(int root, const std::string& relative, OwnedDescriptor& opened) {
    OwnedDescriptor current;
    int at = root;
    size_t start = 0;
    while (start <= relative.size() && !relative.empty()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        OwnedDescriptor next;
        if (const int error = OpenDirectoryAt(at, relative.substr(start, end - start), next).error; error != 0) {
            return error;
        }
        current = std::move(next);
        at = current.Get();
        start = end + 1;
    }
    if (!current.IsOpen()) return DuplicateDescriptor(root, opened);
    opened = std::move(current);
    return 0;
}

// Tells the caller's progress: a step for each recorded file judged and for
// each file taken out, at most every 256 steps and at the end.
class Progress {
public:
    Progress(const UninstallOptions& options, size_t files) : options_(options), total_(2 * files) {}
    void Step() const {
        ++done_;
        if (options_.progress && (done_ % 256 == 0 || done_ == total_)) {
            options_.progress(static_cast<uint32_t>(done_), static_cast<uint32_t>(total_));
        }
    }
    // The files not taken out count as done.
    void Finish() const {
        done_ = total_;
        if (options_.progress) options_.progress(static_cast<uint32_t>(total_), static_cast<uint32_t>(total_));
    }

private:
    const UninstallOptions& options_;
    size_t total_;
    mutable size_t done_ = 0;
};

// Whether the original `file` replaced is kept in `keptOriginals` (-1: none
// is kept), and its identity.
bool OriginalKept(const RecordedFile& file, int keptOriginals, EntryIdentity& identity) {
    EntryStatus kept;
    if (!file.replaced || keptOriginals < 0 || ExamineEntryAt(keptOriginals, file.relative, kept).error != 0) {
        return false;
    }
    identity = kept.stamp.identity;
    return kept.kind != EntryKind::Missing && kept.kind != EntryKind::Directory;
}

// Judges every recorded file from `root`, without a change: a dry run's lines.
void DryRun(const InstallationRecord& record, const std::string& base, int root, int keptOriginals,
            const UninstallOptions& options, UninstallResult& result) {
    auto say = [&options](const std::string& line) {
        if (options.dryRunLine) options.dryRunLine(line);
    };
    for (const RecordedFile& file : record.files) {
        std::string parent, name;
        SplitRelative(file.relative, parent, name);
        OwnedDescriptor directory;
        EntryStatus status;
        int error = OpenBelow(root, parent, directory);
        if (error == 0) error = ExamineEntryAt(directory.Get(), name, status).error;
        const Verdict verdict = error == ENOENT ? Verdict::Missing
                                : error != 0    ? Verdict::KeepChanged
                                                : Judge(record, file, status);
        const std::string path = base + file.relative;
        if (verdict == Verdict::Remove) {
            ++result.removed;
            EntryIdentity kept;
            if (OriginalKept(file, keptOriginals, kept)) {
                ++result.restored;
                say("restore " + path);
            } else {
                if (file.replaced) ++result.originalsNotKept;
                say("remove " + path);
            }
        } else if (verdict == Verdict::KeepChanged) {
            result.keptChanged.push_back(path);
            say("keep-changed " + path);
        } else {
            ++result.missing;
        }
    }
    for (auto directory = record.directories.rbegin(); directory != record.directories.rend(); ++directory) {
        ++result.directoriesRemoved;
        say("remove-dir " + base + directory->relative);
    }
}

// Judges and journals the removal of every recorded file through `transaction`.
uint32_t PlanRemovals(const InstallationRecord& record, Transaction& transaction, int keptOriginals,
                      std::vector<Removal>& removals, const Progress& progress, UninstallResult& result) {
    for (const RecordedFile& file : record.files) {
        progress.Step();
        Removal removal;
        SplitRelative(file.relative, removal.parent, removal.name);
        int directory = -1;
        EntryStatus status;
        const uint32_t opened = transaction.OpenDirectory(removal.parent, MissingDirectory::Leave, directory);
        int error = opened != ERR_SUCCESS ? (transaction.FirstFailure().error != 0 ? transaction.FirstFailure().error
                                                                                   : EINVAL)
                                          : 0;
        if (error == 0 && directory >= 0) error = ExamineEntryAt(directory, removal.name, status).error;
        // A directory on the way that is gone, or is no longer one of its own: not this record's to touch.
        transaction.FirstFailure() = Failure();
        const Verdict verdict = directory < 0 && error == 0 ? Verdict::Missing
                                : error != 0               ? Verdict::KeepChanged
                                                           : Judge(record, file, status);
        const std::string path = transaction.Target() + file.relative;
        if (verdict == Verdict::Missing) {
            ++result.missing;
        } else if (verdict == Verdict::KeepChanged) {
            result.keptChanged.push_back(path);
        } else {
            if (const uint32_t code = transaction.JournalRemoval(path, removal.record); code != ERR_SUCCESS) return code;
            removal.judged = status.stamp;
            EntryIdentity kept;
            if (OriginalKept(file, keptOriginals, kept)) {
                if (const uint32_t code = transaction.JournalRestore(path, kept, removal.restore); code != ERR_SUCCESS) {
                    return code;
                }
                ++result.restored;
            } else if (file.replaced) {
                ++result.originalsNotKept;
            }
            removals.push_back(std::move(removal));
        }
    }
    return ERR_SUCCESS;
}

// Takes every judged file out, into the staging directory.
uint32_t TakeOut(Transaction& transaction, const std::vector<Removal>& removals, const Progress& progress,
                 UninstallResult& result) {
    for (const Removal& removal : removals) {
        progress.Step();
        const std::string path =
            transaction.Target() + (removal.parent.empty() ? "" : removal.parent + "/") + removal.name;
        int directory = -1;
        if (const uint32_t code = transaction.OpenDirectory(removal.parent, MissingDirectory::Leave, directory);
            code != ERR_SUCCESS) {
            return code;
        }
        if (directory < 0) return transaction.Fail(path, kChangedMeanwhile);
        if (const uint32_t code =
                transaction.SetOriginalAside(removal.record, path, directory, removal.name, removal.judged);
            code != ERR_SUCCESS) {
            return code;
        }
        if (removal.restore != SIZE_MAX) {
            if (const uint32_t code = transaction.RestoreKept(removal.restore, path, directory, removal.name);
                code != ERR_SUCCESS) {
                return code;
            }
        }
        ++result.removed;
    }
    return ERR_SUCCESS;
}

// The directories the installation made, deepest first, and the template
// directory when the installation made it: each goes after the commit when
// it is empty and still the one made.
uint32_t JournalDirectoriesToRemove(const InstallationRecord& record, Transaction& transaction) {
    for (auto made = record.directories.rbegin(); made != record.directories.rend(); ++made) {
        const EntryIdentity identity{record.targetIdentity.device, made->inode};
        if (const uint32_t code = transaction.RemoveAfterCommit(transaction.Target() + made->relative, identity);
            code != ERR_SUCCESS) {
            return code;
        }
    }
    if (!record.madeTarget) return ERR_SUCCESS;
    const std::string& target = transaction.Target();
    return transaction.RemoveAfterCommit(target.substr(0, target.size() - 1), record.targetIdentity);
}

uint32_t TakeBack(const InstallationRecord& record, const std::string& target, const UninstallOptions& options,
                  Staging kept, Transaction& transaction, UninstallResult& result) {
    TransactionOptions transactionOptions;
    transactionOptions.durability = options.durability;
    transactionOptions.firstWorkingNumber = options.firstWorkingNumber;
    if (const uint32_t code = transaction.Begin(FromMultiByte(target), transactionOptions); code != ERR_SUCCESS) {
        return code;
    }
    result.recovered = transaction.Recovered();
    // Swapped for another directory since it was looked at: not this record's.
    if (transaction.Record().targetIdentity != record.targetIdentity) return transaction.Fail(target, ESTALE);
    result.target = transaction.Target();
    // The originals it replaced, when kept, come back through the transaction.
    const int keptOriginals = kept.originals.IsOpen() ? kept.originals.Get() : -1;
    if (keptOriginals >= 0) {
        if (const uint32_t code = transaction.UseKeptOriginals(std::move(kept)); code != ERR_SUCCESS) return code;
    }
    std::vector<Removal> removals;
    const Progress progress(options, record.files.size());
    if (const uint32_t code = PlanRemovals(record, transaction, keptOriginals, removals, progress, result);
        code != ERR_SUCCESS) {
        return code;
    }
    if (const uint32_t code = transaction.SyncJournal(); code != ERR_SUCCESS) return code;
    if (const uint32_t code = TakeOut(transaction, removals, progress, result); code != ERR_SUCCESS) return code;
    if (const uint32_t code = JournalDirectoriesToRemove(record, transaction); code != ERR_SUCCESS) return code;
    const uint32_t code = transaction.Commit();
    if (code != ERR_SUCCESS) return code;
    result.directoriesRemoved = transaction.RemovedAtCommit().removed;
    result.templateRemoved = transaction.RemovedAtCommit().target;
    progress.Finish();
    return ERR_SUCCESS;
}

}  // namespace

UninstallResult RunUninstall(const UninstallOptions& options) {
    UninstallResult result;
    std::string target = ToMultiByteString(options.directory);
    if (target.empty() || target[0] != '/') {
        result.code = ERR_INVALID_PARAMETER;
        result.failure = FailureOf(result.code, EINVAL, target);
        return result;
    }
    if (target.back() != '/') target += '/';
    result.target = target;
    OwnedDescriptor root;
    EntryIdentity identity;
    InstallationRecord record;
    std::string name;
    int error = OpenNamedDirectory(target, DirectoryAccess::LookUp, root);
    if (error == 0) error = IdentityOf(root.Get(), identity).error;
    if (error == 0) error = ReadLatestRecord(identity, record, name);
    if (error == ENOENT || error == ENOTDIR) {
        result.outcome = UninstallOutcome::NothingToUninstall;
        return result;
    }
    if (error != 0) {
        result.recordError = error == EPERM || error == EINVAL ? error : 0;
        result.code = error == EINVAL ? ERR_INVALID_DATA : ERR_INVALID_PARAMETER;
        result.failure = FailureFromErrno(error, target);
        return result;
    }
    result.installedAt = record.when;
    // The originals it replaced, kept by the commit; gone or not one to trust, none are.
    Staging kept;
    if (record.kept != EntryIdentity() && OpenKeptGeneration(result.target, record.kept, kept) != 0) kept = Staging();
    if (options.dryRun) {
        DryRun(record, target, root.Get(), kept.originals.IsOpen() ? kept.originals.Get() : -1, options, result);
        result.outcome = UninstallOutcome::Uninstalled;
        return result;
    }
    Transaction transaction;
    if (const uint32_t code = TakeBack(record, target, options, std::move(kept), transaction, result);
        code != ERR_SUCCESS) {
        result.failure = transaction.FirstFailure();
        result.code = transaction.Rollback(code);
        result.removed = 0;
        result.restored = 0;
        return result;
    }
    (void)RemoveRecord(identity, name);  // a record left names files gone: the next one keeps nothing of them
    result.outcome = UninstallOutcome::Uninstalled;
    return result;
}

}  // namespace vxk5
