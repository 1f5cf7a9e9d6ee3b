#pragma once
// The transaction of one operation on a template directory: every change an
// operation makes there goes through it, so that every change is journalled
// (and the journal synced) before it is made, the identity of everything the
// operation makes is journalled, and a failure, or a start after a crash or a
// power cut, puts the directory back as it was.
//
// It lives on the template directory's own file system, in a private staging
// directory (see install/staging.h) that holds the journal and the originals
// set aside. The changes it makes: directories made, originals set aside in
// the staging directory, new files written under a working name in their
// final directory and only then given their name (never over an entry that
// appeared meanwhile) or exchanged with the original they replace, and the
// operation's own files removed again. A template file is there whole or not
// at all. The rollback plays the journal back newest first (install/undo.h),
// the same undo that the recovery plays from a dead operation's journal.
//
// The transaction holds the template directory's lock (and shared locks on
// the directories above it) from before its first change until the commit
// or the rollback is done, and a few descriptors held back so that the
// rollback completes when the process has run out of them. A change asked
// for before it is journalled and synced, or after the commit or the
// rollback, is refused (ERR_INVALID_PARAMETER) and made nowhere.
//
// Its methods are called on one thread, except WriteNewFile, PlaceNewFile
// and ExchangeWithOriginal, which two threads may call at once for different
// records while nothing else is called.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/result_codes.h"
#include "base/wstring.h"
#include "install/destination_directories.h"
#include "install/kept_generation.h"
#include "install/recovery.h"
#include "install/staging.h"
#include "install/take_back.h"
#include "install/undo.h"
#include "install/step_log.h"
#include "platform/file_entries.h"
#include "platform/journal_file.h"
#include "platform/owned_descriptor.h"
#include "platform/platform_error.h"

namespace vxk5 {

// What the journal of one transaction records, as kept in memory.
struct JournalRecord {
    // The template directory's real path (absolute, no link in it), ending
    // with "/"; empty until the directory is locked.
    std::string target;
    EntryIdentity targetIdentity;
    // The template directory and the directories above it that the
    // transaction made before its journal existed, parents first (absolute,
    // no final "/").
    std::vector<std::string> madeAbove;
    StepLog steps;  // every change in the order made
};

// How the new files reach the disk before the commit record.
enum class DurabilityMode {
    SyncFileSystem,  // one syncfs(2) of the template directory's file system (FUSE: SyncEachFile)
    SyncEachFile,    // fsync(2) of each new file and each directory changed
};

struct TransactionOptions {
    DurabilityMode durability = DurabilityMode::SyncFileSystem;
    // An original is replaced by exchanging it with the new file, written
    // beside it, in one rename; it then waits under the new file's working
    // name until the commit removes it. Where the file system cannot exchange
    // two entries (Begin tries), or with this off, the original is first
    // moved to the staging directory's originals/ and the new file renamed
    // to its place.
    bool exchangeOriginals = true;
    // Where the numbers of the working names start; by default at one drawn
    // at random (tests fix it to name the files they look at).
    std::optional<uint64_t> firstWorkingNumber;
    // Told when the transaction starts (true) and stops (false) waiting for
    // another installer's lock on the template directory.
    std::function<void(bool waiting)> waiting;
};

// What could not be put back: by the rollback, or by the recovery of a dead
// operation's journal that Begin found.
struct KeptOriginals {
    bool kept = false;                     // not every original is back
    std::vector<std::string> notRestored;  // those that are not
    std::string where;                     // where they are kept
};

class Transaction {
public:
    Transaction() = default;
    ~Transaction() = default;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Prepares everything before the first change: makes the template
    // directory when missing, takes its lock (waiting for another installer,
    // told through options.waiting), recovers what a dead installer left
    // beside or inside it, makes the staging directory with its journal and
    // registers it. Nothing is made for an empty `targetDirectory`; one that
    // is not absolute or does not end with "/" is refused
    // (ERR_INVALID_PARAMETER, the failure naming it with EINVAL).
    [[nodiscard]] uint32_t Begin(const WString& targetDirectory, const TransactionOptions& options);

    // The template directory's real path, ending with "/"; empty without one.
    const std::string& Target() const { return record_.target; }
    bool Exchanges() const { return options_.exchangeOriginals; }
    bool SyncsEachFile() const { return options_.durability == DurabilityMode::SyncEachFile; }

    // The directory `relative` below the template directory ("" for itself,
    // "a/b" without a final "/"), each component opened from its parent
    // without following a link; valid until the next call. A missing
    // component gives 0 with `directory` -1, or, with MissingDirectory::Make,
    // is made inside its verified parent: journalled (and synced) first
    // unless PlanDirectories journalled it, its identity journalled once
    // made. ERR_SUCCESS or a code (a link in the way is ELOOP, a file
    // ENOTDIR, a directory replaced since it was first opened ESTALE).
    [[nodiscard]] uint32_t OpenDirectory(const std::string& relative, MissingDirectory missing, int& directory);
    // Journals (without syncing) a D record for each directory of `relative`
    // that does not exist yet, parents first, to be made once synced.
    [[nodiscard]] uint32_t PlanDirectories(const std::string& relative);
    // Whether `relative` is planned and not made yet.
    bool DirectoryPlanned(const std::string& relative) const { return planned_.count(relative) != 0; }
    // The planned directories are made: OpenDirectory knows them from now on.
    void PlannedDirectoriesMade() { planned_.clear(); }

    // The next working name, for a new file. The numbers of a transaction's
    // working names start at one drawn at random, so that no file that
    // stands in the template directory already has one of them.
    std::string NewWorkingName() { return staging_.TemporaryName(nextWorkingName_++); }
    // Journals (without syncing) that a new file is about to be written under
    // `working` in the directory of `path`, to take the name `path`:
    // Absent where nothing stands, SetAside an original that is first
    // moved to the staging directory, Exchange one exchanged with the new
    // file. `record` receives the record's number, for what follows.
    enum class Original { Absent, SetAside, Exchange };
    [[nodiscard]] uint32_t JournalNewFile(const std::string& path, const std::string& working, Original original,
                                          size_t& record);
    // Writes the records journalled so far and syncs the journal: the
    // changes they describe may be made from now on.
    [[nodiscard]] uint32_t SyncJournal();
    // The file for `record` was made with `identity` (its identity not yet
    // journalled): the rollback knows it as this transaction's.
    void Made(size_t record, const EntryIdentity& identity) { record_.steps.Identify(record, identity); }
    // Journals (without syncing) the identity of the file written for `record`.
    [[nodiscard]] uint32_t JournalIdentity(size_t record, const std::string& path, const EntryIdentity& identity);

    // The changes. Each needs its record journalled and synced.
    // Calls write() (which writes the new file under its working name) for
    // `record`; the failure it gives back, or a refusal.
    template <typename Write>
    Failure WriteNewFile(size_t record, const std::string& path, Write write) const {
        if (!MayChange(record)) return Refusal(path);
        return write();
    }
    // Moves the original `name` in `directory` (at `path`) into the staging
    // directory's originals/, by one rename. What was moved must be the
    // original as it was judged (`judged`): anything else, changed or put
    // there by someone since, goes back at once, and the failure's errno is
    // kChangedMeanwhile. ERR_SUCCESS or a code.
    [[nodiscard]] uint32_t SetOriginalAside(size_t record, const std::string& path, int directory,
                                            const std::string& name, const EntryStamp& judged);
    // Gives the new file under `working` the name `name` (never over an
    // entry), or exchanges it with the original standing there, which must
    // be the original as it was judged (or the exchange is undone at once:
    // kChangedMeanwhile). Once its identity is journalled and synced. 0 or errno.
    [[nodiscard]] int PlaceNewFile(size_t record, int directory, const std::string& working,
                                   const std::string& name) const;
    [[nodiscard]] int ExchangeWithOriginal(size_t record, int directory, const std::string& working,
                                           const std::string& name, const std::string& path,
                                           const EntryStamp& judged) const;
    // Removes the file `name` in `directory` (at `path`) that this transaction
    // placed with the identity `own`; anything else standing there is left
    // (EEXIST). ERR_SUCCESS or a code.
    [[nodiscard]] uint32_t RemoveOwnFile(const std::string& path, int directory, const std::string& name,
                                         const EntryIdentity& own);

    // At the commit, the originals replaced are kept (install/kept_generation.h)
    // instead of purged, in place of the kept directory of identity
    // `previous` (none when zero). Anything else of the kept name there, or a
    // failure on the way, purges them as without this.
    void KeepOriginalsAtCommit(const EntryIdentity& previous) {
        keepOriginals_ = true;
        previousKept_ = previous;
    }
    void KeepNoOriginals() { keepOriginals_ = false; }
    // Whether the commit is to keep originals: asked to, and some were replaced.
    bool KeepsOriginals() const;
    // What the commit kept.
    const KeptGeneration& Generation() const { return generation_; }
    // The staging directory's identity: the kept directory's, once kept.
    const EntryIdentity& StagingIdentity() const { return staging_.identity; }
    // The kept originals of an earlier installation, opened by
    // OpenKeptGeneration, that the take-back brings back: journalled
    // (without syncing), and discarded after the commit. ERR_SUCCESS or a code.
    [[nodiscard]] uint32_t UseKeptOriginals(Staging kept);
    // Journals (without syncing) that after the commit record the files of
    // `record`, the latest installation's record `recordName` of the template
    // directory, are taken back (install/take_back.h), and the record removed
    // once that is on the disk; the recovery of a committed journal does the
    // same. `record` lives until the commit. progress(done, total) as files are done, on the calling thread.
    [[nodiscard]] uint32_t TakeBackAfterCommit(const InstallationRecord& record, const std::string& recordName,
                                               std::function<void(size_t done, size_t total)> progress);
    // What the take-back after the commit did; a failure there leaves the
    // record and the kept originals for another uninstall to finish.
    const TakenBack& TakenBackAtCommit() const { return takenBack_; }
    // Journals (without syncing) that the directory at `path` (below the
    // template directory, or the template directory itself without its "/"),
    // of identity `identity`, is to go after the commit when it is empty and
    // still that one: the commit removes it, deepest first in the order
    // journalled, or the recovery of a committed journal does.
    [[nodiscard]] uint32_t RemoveAfterCommit(const std::string& path, const EntryIdentity& identity);
    // What the commit removed of those.
    const DirectoriesRemoved& RemovedAtCommit() const { return removedAtCommit_; }
    // Makes the changes durable, writes and syncs the commit record, then
    // purges the originals replaced and removes the staging directory and
    // its registry entry. ERR_SUCCESS, or the code of a sync or commit record
    // that failed (the transaction is then still to be rolled back).
    [[nodiscard]] uint32_t Commit();
    // Undoes every change, newest first. When every original is back the
    // staging directory and its registry entry are removed; otherwise both
    // are kept (Kept()) and the failure names what could not be restored.
    // Returns `code`.
    [[nodiscard]] uint32_t Rollback(uint32_t code);

    // Records the first failure (path and errno; 0 when no system call
    // failed, such as for a refused name); returns the result code for `error`.
    [[nodiscard]] uint32_t Fail(const std::string& path, int error);
    Failure& FirstFailure() { return failure_; }
    const KeptOriginals& Kept() const { return kept_; }
    // What Begin recovered of dead operations found beside or inside the
    // template directory (their registry entries lost), each as it ended.
    const std::vector<RecoveryReport>& Recovered() const { return recovered_; }
    // The journal's record as it stands (the steps so far).
    const JournalRecord& Record() const { return record_; }
    // The staging directory's path, ending with "/"; empty when none was made.
    const std::string& StagingPath() const { return staging_.path; }
    // The directories the transaction made below the template directory
    // (relative, parents first) with their inode numbers.
    std::vector<std::pair<std::string, uint64_t>> MadeDirectories() const;
    // Hands the record over when the transaction is over.
    JournalRecord TakeRecord() { return std::move(record_); }

private:
    enum class State { Idle, Open, Committed, RolledBack };

    // Begin's steps.
    [[nodiscard]] uint32_t LockTemplateDirectory();
    [[nodiscard]] uint32_t RecoverLeftOvers();
    [[nodiscard]] uint32_t MakeStagingWithJournal();
    [[nodiscard]] uint32_t JournalMadeAbove();
    [[nodiscard]] uint32_t RegisterAndReserve();
    // OpenDirectory's steps.
    [[nodiscard]] uint32_t OpenTemplateDirectory();
    [[nodiscard]] int OpenBelow(int parent, const std::string& name, OwnedDescriptor& opened);
    [[nodiscard]] uint32_t NearestCached(const std::string& relative, OwnedDescriptor& held, size_t& start);
    [[nodiscard]] uint32_t OpenComponent(int parent, const std::string& name, const std::string& prefix,
                                         MissingDirectory missing, OwnedDescriptor& opened, bool& left);
    [[nodiscard]] uint32_t MakeMissingDirectory(int parent, const std::string& name, const std::string& path,
                                                int& error, bool& ours);
    // Commit's steps.
    [[nodiscard]] uint32_t SyncChanges();
    void PurgeOriginals();
    [[nodiscard]] bool KeepReplacedOriginals();
    // The take-back after the commit record; whether it finished whole.
    bool TakeBackRecorded();
    [[nodiscard]] bool GatherExchangedOriginals();
    // What GatherExchangedOriginals did with an exchanged original.
    static constexpr uint8_t kGatheredNothing = 0;  // nothing was there (ENOENT)
    static constexpr uint8_t kGatheredLinked = 1;   // linked; its working name waits to go
    static constexpr uint8_t kGatheredGone = 2;     // moved, or a repeat's removed
    [[nodiscard]] bool LinkExchangedOriginals(std::vector<uint8_t>& gathered);
    [[nodiscard]] bool MakeGatheringParents(bool& repeats);
    [[nodiscard]] bool RemoveGatheredWorkingNames(const std::vector<uint8_t>& gathered,
                                                  std::unordered_set<std::string>& left);
    [[nodiscard]] bool SyncGathered();
    void CountKept();
    [[nodiscard]] uint32_t SyncChangedDirectories();
    void Finish();

    [[nodiscard]] uint32_t WriteAhead(const std::string& line);
    [[nodiscard]] int MakeBackupParents(const std::string& relative);
    int RootDescriptor() const;
    std::string JournalPath() const { return staging_.path + kJournalName; }
    // The change of `record` may be made: the transaction is open and the
    // record synced; PlaceNewFile also needs every identity synced.
    bool MayChange(size_t record) const { return state_ == State::Open && record < durableRecords_; }
    bool MayPlace(size_t record) const;
    Failure Refusal(const std::string& path) const { return FailureOf(ERR_INVALID_PARAMETER, EINVAL, path); }

    TransactionOptions options_;
    State state_ = State::Idle;
    JournalRecord record_;
    Staging staging_;         // made by Begin, discarded at the commit or the rollback
    JournalFile journal_;     // open and locked from Begin to the end
    // Records not yet written: they go to the journal, in one write, at its
    // next sync, and every change they describe waits for that sync.
    std::string pending_;
    size_t durableRecords_ = 0;  // the step records on the disk
    DirectoryLock lock_;         // held from before the first change to the end
    DestinationDirectories destinations_;
    // Held back from the start for the rollback, so that it completes when
    // the process has run out of descriptors.
    std::vector<OwnedDescriptor> reserved_;
    uint64_t nextWorkingName_ = 0;
    Failure failure_;
    KeptOriginals kept_;
    std::vector<RecoveryReport> recovered_;

    // The directories below the template directory (relative, no final "/")
    // that exist or are about to be made, so that each costs one look; of
    // those, the ones planned and not made yet; the step that journalled each
    // directory to be made, by absolute path; the originals/ subdirectories made.
    std::unordered_set<std::string> known_;
    std::unordered_set<std::string> planned_;
    std::unordered_map<std::string, size_t> directorySteps_;
    std::unordered_set<std::string> backupDirectories_;
    // The originals replaced are kept at the commit, in place of previousKept_.
    bool keepOriginals_ = false;
    EntryIdentity previousKept_;
    KeptGeneration generation_;
    Staging keptFrom_;  // an earlier installation's kept originals, brought back; discarded at the commit
    // The take-back after the commit: the record (not owned), its name and
    // the first number of the working names its originals come back under.
    const InstallationRecord* takeBack_ = nullptr;
    std::string takeBackName_;
    uint64_t takeBackFirst_ = 0;
    std::function<void(size_t, size_t)> takeBackProgress_;
    TakenBack takenBack_;
    std::vector<DirectoryToRemove> removeAfterCommit_;
    DirectoriesRemoved removedAtCommit_;
};

}  // namespace vxk5
