// The transaction's beginning, its journal, its commit and its rollback.

#include "install/transaction.h"

#include <algorithm>
#include <random>

#include "base/conversion.h"
#include "install/recovery.h"
#include "install/target_form.h"
#include "install/template_directory.h"
#include "install/undo.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "platform/mounted_file_system.h"
#include "platform/open_file.h"

namespace vxk5 {

namespace {

// Times the template directory is locked again because it was replaced
// while this transaction waited for it.
constexpr int kLockAttempts = 100;
// Descriptors held back for the rollback: the walk down to a directory and
// to an original's place in the staging directory, two levels each.
constexpr size_t kReservedDescriptors = 4;

// The first working name's number: 40 bits drawn at random.
uint64_t RandomWorkingNumber() {
    std::random_device device;
    const uint64_t drawn = (static_cast<uint64_t>(device()) << 32) | device();
    return drawn & ((uint64_t{1} << 40) - 1);
}

}  // namespace

uint32_t Transaction::Fail(const std::string& path, int error) {
    if (failure_.Empty()) failure_ = FailureFromErrno(error, path);
    return CodeFromErrno(error);
}

int Transaction::RootDescriptor() const {
    return destinations_.root.IsOpen() ? destinations_.root.Get() : lock_.Descriptor();
}

uint32_t Transaction::WriteAhead(const std::string& line) {
    if (!journal_.IsOpen()) return ERR_SUCCESS;
    if (const int error = InjectedFault(FaultStep::JournalWrite, JournalPath()); error != 0) {
        return Fail(JournalPath(), error);
    }
    pending_ += line;
    return ERR_SUCCESS;
}

uint32_t Transaction::SyncJournal() {
    if (!journal_.IsOpen()) return ERR_SUCCESS;
    // The records gathered since the last sync go in one write: a record cut
    // short by the process's death is ignored, and one cut short by a full
    // disk is taken back, with the rest of the write.
    int error = 0;
    if (!pending_.empty()) {
        error = InjectedFault(FaultStep::JournalWrite, JournalPath());
        if (error == 0) error = journal_.Append(pending_);
    }
    pending_.clear();
    if (error == 0) error = journal_.Sync();
    if (error != 0) return Fail(JournalPath(), error);
    durableRecords_ = record_.steps.Records();
    return ERR_SUCCESS;
}

uint32_t Transaction::Begin(const WString& targetDirectory, const TransactionOptions& options) {
    if (state_ != State::Idle) return ERR_INVALID_PARAMETER;
    options_ = options;
    if (targetDirectory.empty()) {
        state_ = State::Open;
        return ERR_SUCCESS;
    }
    // A relative path would mean another directory to a later start made
    // elsewhere, and the entries' paths are the directory's followed by
    // their names: the caller gives the one form that means one directory.
    if (!IsInstallTarget(targetDirectory)) return Fail(ToMultiByteString(targetDirectory), EINVAL);
    record_.target = ToMultiByteString(targetDirectory);
    if (const uint32_t code = LockTemplateDirectory(); code != ERR_SUCCESS) return code;
    if (const uint32_t code = RecoverLeftOvers(); code != ERR_SUCCESS) return code;
    // One syncfs before the commit costs a sixth of a sync per file (2,000
    // files of 10 KB on ext4 here: 1.3 s against 7.8 s), but a FUSE file
    // system need not pass a syncfs on to its storage, while every fsync
    // reaches it: there each file is synced.
    if (options_.durability == DurabilityMode::SyncFileSystem && OnUserSpaceFileSystem(lock_.Descriptor())) {
        options_.durability = DurabilityMode::SyncEachFile;
    }
    if (const uint32_t code = MakeStagingWithJournal(); code != ERR_SUCCESS) return code;
    nextWorkingName_ = options_.firstWorkingNumber ? *options_.firstWorkingNumber : RandomWorkingNumber();
    if (const uint32_t code = JournalMadeAbove(); code != ERR_SUCCESS) return code;
    if (const uint32_t code = RegisterAndReserve(); code != ERR_SUCCESS) return code;
    state_ = State::Open;
    return ERR_SUCCESS;
}

uint32_t Transaction::LockTemplateDirectory() {
    const std::string given = record_.target;
    bool told = false;
    bool locked = false;
    for (int attempt = 0; attempt < kLockAttempts && !locked; ++attempt) {
        if (const uint32_t code = MakeTemplateDirectory(given, record_.madeAbove, failure_); code != 0) return code;
        if (const int error = lock_.Open(given); error != 0) return Fail(given, error);
        if (!lock_.TryLock()) {
            if (!told && options_.waiting) options_.waiting(true);
            told = true;
            if (const int error = lock_.Wait(); error != 0) return Fail(given, error);
        }
        // The other installer may have removed the directory in its rollback
        // (and someone made it anew): the lock must be on the directory that
        // the path names now.
        locked = lock_.StillNamedBy(given);
        if (!locked) lock_.Release();
    }
    if (told && options_.waiting) options_.waiting(false);
    if (!locked) return Fail(given, EAGAIN);
    // From here the template directory is known by its real path, which the
    // journal keeps: a later recovery reaches it without following a link.
    const std::string real = lock_.RealPath();
    if (real.empty()) return Fail(given, ENOENT);
    record_.target = real == "/" ? real : real + "/";
    record_.steps.SetTarget(record_.target);
    if (const int error = IdentityOf(lock_.Descriptor(), record_.targetIdentity).error; error != 0) {
        return Fail(given, error);
    }
    record_.madeAbove = RealPathsOfMade(given, real, record_.madeAbove);
    return ERR_SUCCESS;
}

uint32_t Transaction::RecoverLeftOvers() {
    // An installer that died here before (or that this one waited for) is
    // finished first: nothing is built on its half-done work.
    for (const RecoveryReport& report : RecoverBesideAndInside(lock_.Descriptor(), record_.target)) {
        recovered_.push_back(report);
        if (report.outcome == RecoveryReport::Outcome::BackupKept ||
            report.outcome == RecoveryReport::Outcome::Unreadable) {
            kept_.kept = report.outcome == RecoveryReport::Outcome::BackupKept;
            kept_.where = ToMultiByteString(report.backupDirectory);
            for (const WString& path : report.notRestored) kept_.notRestored.push_back(ToMultiByteString(path));
            return Fail(ToMultiByteString(report.journalPath), EEXIST);
        }
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::MakeStagingWithJournal() {
    const int targetFd = lock_.Descriptor();
    if (const int error = MakeStaging(targetFd, record_.target, staging_); error != 0) {
        return Fail(record_.target, error);
    }
    // The staging directory is on the template directory's file system.
    if (options_.exchangeOriginals) {
        options_.exchangeOriginals = ExchangesEntries(staging_.directory.Get(), kExchangeProbe);
    }
    int error = InjectedFault(FaultStep::JournalWrite, JournalPath());
    if (error == 0) {
        error = journal_.CreateAt(staging_.directory.Get(), kJournalName,
                                  JournalHeader(record_.target, record_.targetIdentity.device,
                                                record_.targetIdentity.inode, staging_.path));
    }
    // The journal's name survives a power cut before any change relies on it.
    if (error == 0) error = SyncDirectory(staging_.directory.Get()).error;
    if (error != 0) {
        journal_.Close();
        // Nothing was changed yet: a staging directory left behind holds no
        // original, and the next start removes it.
        (void)DiscardStaging(staging_);
        return Fail(JournalPath(), error);
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::JournalMadeAbove() {
    // The directories made before the journal existed, now journalled with
    // their identity, so that a rollback removes them as well.
    for (const std::string& made : record_.madeAbove) {
        EntryIdentity identity;
        OwnedDescriptor opened;
        if (OpenDirectoryPath(made, DirectoryAccess::LookUp, opened).Failed() ||
            IdentityOf(opened.Get(), identity).Failed()) {
            continue;
        }
        if (const uint32_t code = WriteAhead(JournalStepLine(StepKind::MakeDirectory, made)); code != 0) return code;
        if (const uint32_t code =
                WriteAhead(JournalIdentityLine(StepKind::MakeDirectory, identity.device, identity.inode, made));
            code != 0) {
            return code;
        }
        record_.steps.Identify(record_.steps.Append(StepKind::MakeDirectory, made), identity);
    }
    return SyncJournal();
}

uint32_t Transaction::RegisterAndReserve() {
    // Found by the next start wherever TMPDIR points then. A home directory
    // that is not this user's to write (no HOME, a read-only one, another
    // user's under sudo) leaves the next installation into this directory to
    // find the staging directory beside or inside it; a registry that fails
    // to be written (a full disk, an I/O error) stops the transaction before
    // its first change.
    if (const int failed = RegisterStaging(staging_);
        failed != 0 && failed != EPERM && failed != EACCES && failed != EROFS && failed != ENOENT &&
        failed != ENOTDIR && failed != ELOOP) {
        return Fail(ToMultiByteString(GetHomeDirectory()) + "/.vxk5/transactions", failed);
    }
    // Held back for the rollback; given back as it starts.
    for (size_t n = 0; n < kReservedDescriptors; ++n) {
        OwnedDescriptor spare;
        if (const int failed = DuplicatePrivateDescriptor(lock_.Descriptor(), spare); failed != 0) {
            return Fail(record_.target, failed);
        }
        reserved_.push_back(std::move(spare));
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::Commit() {
    if (state_ != State::Open) return ERR_INVALID_PARAMETER;
    if (journal_.IsOpen()) {
        if (const uint32_t code = SyncChanges(); code != ERR_SUCCESS) return code;
        if (const uint32_t code = WriteAhead(JournalCommitLine()); code != 0) return code;
        // The commit record is on the disk before anything of the staging
        // directory goes: a cut in the purge finds a committed journal.
        if (const uint32_t code = SyncJournal(); code != 0) return code;
    }
    // From here the changes stand; what is left is tidying up, which a later
    // start finishes should this process die in it.
    state_ = State::Committed;
    reserved_.clear();
    if (keepOriginals_ && KeepReplacedOriginals()) {
        Finish();
        return ERR_SUCCESS;
    }
    PurgeOriginals();
    // An uninstall's: its files taken back; then the kept originals not
    // brought back, and the directories left empty, while the journal still
    // names them. A take-back that failed leaves the kept originals to the
    // record it leaves, for another uninstall to finish.
    const bool takenBack = takeBack_ == nullptr || TakeBackRecorded();
    // Failing, what stays of the kept directory is only space: no record names it once this one goes.
    if (keptFrom_.IsOpen() && takenBack) (void)DiscardKeptGeneration(keptFrom_);
    const int root = RootDescriptor();
    if (!removeAfterCommit_.empty() && root >= 0) {
        removedAtCommit_ = RemoveDirectoriesAfterCommit(removeAfterCommit_, record_.target, root, !staging_.inside);
    }
    journal_.Close();
    // The commit record is on the disk: what the purge leaves is finished by
    // a later start, and no original is lost either way.
    (void)DiscardStaging(staging_);
    UnregisterStaging(staging_);
    if (staging_.inside && !removeAfterCommit_.empty() && root >= 0) {
        // Best effort: the staging directory held it until now.
        removedAtCommit_.target = RemoveDirectoriesAfterCommit(removeAfterCommit_, record_.target, root, true).target;
    }
    Finish();
    return ERR_SUCCESS;
}

void Transaction::PurgeOriginals() {
    // The removals reach the disk before the staging directory and its
    // journal go: on a disk that keeps no order among directory operations
    // an original would otherwise come back under its working name, with no
    // journal left to say whose it is.
    const bool syncEach = options_.durability == DurabilityMode::SyncEachFile;
    const int root = RootDescriptor();
    if (PurgeExchangedOriginals(record_.steps, record_.target, root, syncEach) != 0 && !syncEach && root >= 0) {
        (void)SyncFileSystemOf(root);
    }
}

uint32_t Transaction::SyncChanges() {
    // The new files' bytes and every directory entry of the transaction (the
    // files' names, the originals set aside) reach the disk before the
    // commit record does: a power cut after the record can then lose
    // nothing that the record promises.
    if (options_.durability == DurabilityMode::SyncFileSystem) {
        if (const int error = SyncFileSystemOf(lock_.Descriptor()); error != 0) return Fail(record_.target, error);
        return ERR_SUCCESS;
    }
    // The files were synced as they were written; their directories now.
    if (const uint32_t code = SyncChangedDirectories(); code != ERR_SUCCESS) return code;
    const std::string& target = record_.target;
    record_.steps.ForEach([&target](StepKind kind, const std::string& path, const std::string&) {
        if (kind != StepKind::MakeDirectory || path.size() > target.size()) return;
        OwnedDescriptor made;
        // Best effort: a directory made at or above the template directory
        // holds nothing the user had, so one lost to a power cut loses only
        // this installation's new files, which the next run writes again.
        if (OpenDirectoryPath(path, DirectoryAccess::LookUp, made).error == 0) (void)SyncDirectory(made.Get());
    });
    // Best effort: only the staging directory's own entries, which the
    // recovery finds again whether or not they reached the disk.
    (void)SyncDirectory(staging_.originals.Get());
    (void)SyncDirectory(staging_.parent.Get());
    return ERR_SUCCESS;
}

uint32_t Transaction::SyncChangedDirectories() {
    const std::string& target = record_.target;
    std::unordered_set<std::string> synced;
    uint32_t failed = ERR_SUCCESS;
    record_.steps.ForEach([&](StepKind kind, const std::string& path, const std::string&) {
        // A directory made inside the template directory goes into its
        // parent's entries, whether or not a new file goes there too.
        // So do a file's removal and an original set aside.
        const bool made = kind == StepKind::MakeDirectory && path.size() > target.size();
        const bool changed = kind == StepKind::WriteFile || kind == StepKind::ExchangeFile || kind == StepKind::MoveToBackup;
        if ((!changed && !made) || failed != ERR_SUCCESS) return;
        const std::string relative = path.substr(target.size());
        const size_t slash = relative.rfind('/');
        const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
        if (!synced.insert(parent).second) return;
        int directory = -1;
        if (const uint32_t code = OpenDirectory(parent, MissingDirectory::Leave, directory); code != 0) {
            failed = code;
        } else if (directory >= 0) {
            if (const int error = SyncDirectory(directory).error; error != 0) failed = Fail(target + parent, error);
        }
    });
    return failed;
}

std::vector<std::pair<std::string, uint64_t>> Transaction::MadeDirectories() const {
    std::vector<std::pair<std::string, uint64_t>> made;
    const std::string& target = record_.target;
    for (const auto& [path, record] : directorySteps_) {
        if (path.size() <= target.size() || !record_.steps.Identified(record)) continue;
        made.emplace_back(path.substr(target.size()), record_.steps.IdentityOf(record).inode);
    }
    std::sort(made.begin(), made.end());  // a parent is a prefix of its children
    return made;
}

void Transaction::Finish() {
    journal_.Close();
    // The template directory's descriptor shares the lock's open file
    // description: the lock ends only when both are closed.
    destinations_.Clear();
    lock_.Release();
    // What was known of the tree no longer holds.
    known_.clear();
    planned_.clear();
    backupDirectories_.clear();
}

uint32_t Transaction::Rollback(uint32_t code) {
    if (state_ == State::Committed || state_ == State::RolledBack) return code;
    state_ = State::RolledBack;
    // What was held back for this moment is given back first.
    reserved_.clear();
    destinations_.Shrink();
    if (!record_.target.empty()) {
        const int root = RootDescriptor();
        UndoOutcome outcome;
        const std::vector<JournalStep> steps = record_.steps.Expand();
        if (root >= 0) {
            // Every file this transaction made has its identity, journalled or not.
            outcome = UndoSteps(steps, record_.target, root, staging_.originals.IsOpen() ? staging_.originals.Get() : -1,
                                Unrecorded::NotOurs);
        }
        if (outcome.error != 0 && failure_.Empty()) failure_ = FailureFromErrno(outcome.error, outcome.failedPath);
        if (outcome.originalsRestored) {
            // Every original is back in place: what is left in the staging
            // directory is the transaction's own, and failing to remove it
            // loses nothing. The undone state reaches the disk before the
            // journal that describes it goes. A failed sync is not acted on:
            // kept, the journal would be replayed over originals already in
            // place and call them not restored; the undo itself has succeeded.
            if (root >= 0) (void)SyncFileSystemOf(root);
            journal_.Close();
            (void)DiscardStaging(staging_);  // what stays is the transaction's own: the next start removes it
            UnregisterStaging(staging_);
            destinations_.Clear();
            UndoDirectoriesAbove(steps, record_.target);
        } else {
            // The originals wait there, and the journal says where they belong.
            kept_.kept = true;
            kept_.notRestored = outcome.notRestored;
            kept_.where = staging_.OriginalsPath();
        }
    }
    Finish();
    return code;
}

}  // namespace vxk5
