#pragma once
// The installation job: copies every file entry of a kit into the template
// directory, replacing an existing file only when the kit's copy is newer.
//
// The transaction lives on the template directory's own file system, in a
// private staging directory (see install/staging.h) that holds the journal
// and the originals set aside. Every change is journalled before it is made:
// directories about to be made, originals about to be moved into the staging
// directory, new files about to be written; and the identity (device, inode)
// of every directory and file the job makes, so that the rollback and the
// recovery remove only what is the job's own. A new file is written under a
// temporary name in its final directory and only then takes its name, never
// over an entry that appeared meanwhile: a template file is there whole or
// not at all. A failure plays the journal back (newest first) so that the
// template directory is as it was; a process killed or cut off part-way is
// undone from the journal at the next start. The job holds the template
// directory's lock (install/journal_file.h) from before its first change
// until the commit or the rollback is done.
//
// The job reports through the InstallJobState only: code 0, the destination
// and the percentage before each entry; code 0, "Copying complete..." and 100
// once at the end; or the failure code, "Installation error" and the
// percentage of the entry being handled. A failure is posted before the
// journal is played back (and, when an original could not be put back, once
// more afterwards with the place where the originals are kept).

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/wstring.h"
#include "install/destination_directories.h"
#include "install/journal_format.h"
#include "install/install_counts.h"
#include "install/staging.h"
#include "install/target_form.h"
#include "install/step_log.h"
#include "platform/file_entries.h"
#include "platform/job_state.h"
#include "platform/journal_file.h"

namespace vxk5 {

class DistributionKit;

// One run of the job, as its journal has it.
struct JournalRecord {
    // The template directory's real path (absolute, no link in it), ending
    // with "/"; empty until the directory is locked.
    std::string target;
    EntryIdentity targetIdentity;
    // The template directory and the directories above it that the job made
    // before its journal existed, parents first (absolute, no final "/").
    std::vector<std::string> madeAbove;
    StepLog steps;  // every change in the order made
};

constexpr uint32_t kFinalPauseMilliseconds = 1000;

// How the new files reach the disk before the commit record.
enum class DurabilityMode {
    SyncFileSystem,  // one syncfs(2) of the template directory's file system (FUSE: SyncEachFile)
    SyncEachFile,    // fsync(2) of each new file and each directory changed
};

// Made empty before a run and discarded after it.
struct InstallJob {
    std::vector<JournalRecord> journal;  // every operation works on the last record
    InstallJobState* jobState = nullptr; // not owned
    InstallCounts counts;                // entries written new, replaced and kept so far

    Staging staging;            // made by BeginInstall, discarded at the commit or the rollback
    JournalFile journalFile;    // open and locked from BeginInstall to the end
    // Records not yet written: they go to the journal, in one write, at its
    // next sync, and every change they describe waits for that sync.
    std::string journalPending;
    DirectoryLock targetLock;   // held from before the first change to the end
    // The first failure: its code, path and errno (0 when the failure was no
    // system call's, such as a refused entry name). Empty while nothing failed.
    Failure failure;
    bool backupKept = false;    // a rollback could not put every original back
    bool kitDamaged = false;    // the kit's data area, unpacked for the first write, is damaged
    std::vector<std::string> notRestored;  // the originals that could not be put back
    std::string keptOriginals;             // where the originals are kept then

    // What the job already knows, so that each entry costs one lstat: the
    // directories below the template directory that exist or are about to be
    // made (relative, no final "/"), the originals/ subdirectories made, and
    // the destinations it has written with their identity, where a later
    // entry of the same name rewrites them.
    std::unordered_set<std::string> knownDirectories;
    // Of those, the ones the batch being planned is to make (not there yet).
    std::unordered_set<std::string> plannedDirectories;
    std::unordered_set<std::string> backupDirectories;
    std::unordered_map<std::string, EntryIdentity> placed;  // only destinations in `repeated`
    // The destinations (absolute) that more than one entry of the kit names:
    // only those need the identity of what the job wrote there.
    std::unordered_set<std::string> repeated;
    // The step record that journalled each directory to be made, by absolute path.
    std::unordered_map<std::string, size_t> directorySteps;
    // The template directory and a bounded cache of directories below it.
    DestinationDirectories destinations;
    // Descriptors held back from the start of the job for the rollback, so
    // that it completes when the process has run out of them.
    std::vector<OwnedDescriptor> reserved;
    uint64_t nextTemporary = 0;  // the sequence of the next temporary name

    // The kit is copied from once, as in the installer's one installation
    // per run: its container's bytes go back to the system as the files are
    // written (a container in memory would otherwise double what the
    // installation holds), and a later job on the same kit fails. Off, a kit
    // can serve any number of jobs.
    bool releaseCopiedBytes = false;

    // Test and benchmark hooks; the worker never changes them.
    // The pause after the success has been posted.
    uint32_t finalPauseMilliseconds = kFinalPauseMilliseconds;
    // Entries journalled and synced together: the first batch holds
    // batchSize, each later one twice the one before up to batchSizeLimit, so
    // a small kit is under way at once and a large one costs a few syncs of
    // the journal rather than two per 256 entries.
    size_t batchSize = 256;
    size_t batchSizeLimit = 16384;
    // A run of at least this many of a batch's files is written, and then
    // placed, by two threads, which take the files in the kit's order as each
    // comes free; a smaller one by the job's thread alone.
    size_t parallelFrom = 64;
    DurabilityMode durability = DurabilityMode::SyncFileSystem;
    // An original is replaced by exchanging it with the new file, written
    // beside it, in one rename; it then waits under the new file's temporary
    // name until the commit removes it. Where the file system cannot exchange
    // two entries (BeginInstall tries), or with this off, the original is
    // first moved to the staging directory's originals/ and the new file
    // renamed to its place.
    bool exchangeOriginals = true;
    // Sees every post, right after it has been made, on the job's thread.
    std::function<void(uint32_t code, const WString& text, uint32_t percent)> postObserver;
};

// Runs the whole job on `kit` (read-only, except its container's position and
// copy buffer, which only the job uses) and the target directory set up in
// `state`: an absolute path ending with "/" (install/target_form.h), or empty
// for a kit without entries. Any other form is refused before anything is
// made (ERR_INVALID_PARAMETER, errno EINVAL, the path as set up); an empty
// one for a kit with entries is ERR_PATH_NOT_FOUND. Succeeded(), or the code that ended it (after the rollback) with
// the path and errno of the job's first failure (those of job.failure).
Failure RunInstallJob(InstallJob& job, InstallJobState& state, DistributionKit* kit);

// Appends the job's journal record and prepares everything before the first
// change: makes the template directory when missing, takes its lock (waiting
// for another installer, with the waiting state posted), recovers what a dead
// installer left beside or inside it, makes the staging directory with its
// journal and registers it. Nothing is made for an empty target directory; one
// that is not absolute or does not end with "/" is refused
// (ERR_INVALID_PARAMETER, the failure detail naming it with EINVAL).
[[nodiscard]] uint32_t BeginInstall(InstallJob& job, const WString& targetDirectory);

// Makes the new files durable, writes and syncs the commit record, then
// removes the staging directory and its registry entry. ERR_SUCCESS, or the code of a
// sync or commit record that failed (the job is then still to be rolled back).
[[nodiscard]] uint32_t CommitInstall(InstallJob& job);

// Takes the template directory's lock, making the directory (and those above
// it) first when missing. While another installer holds the lock, posts the
// waiting state and waits. ERR_SUCCESS or a code (the failure detail is set).
[[nodiscard]] uint32_t LockTemplateDirectory(InstallJob& job);

// Appends `line` to the job's journal file, when there is one (in the kernel,
// not yet on the disk). ERR_SUCCESS, or the code (the failure detail names the journal).
[[nodiscard]] uint32_t WriteAhead(InstallJob& job, const std::string& line);
// fdatasync of the journal: the records so far survive a power cut.
[[nodiscard]] uint32_t SyncJournal(InstallJob& job);

// Records the failure detail unless one is recorded already; returns the
// result code for `error`.
[[nodiscard]] uint32_t RecordFailure(InstallJob& job, const std::string& path, int error);

// Posts the failure (code, "Installation error", percent), then plays the
// journal back. Returns `code`.
[[nodiscard]] uint32_t ReportInstallError(InstallJob& job, uint32_t code, uint32_t percent);

// SetJobResult on the job's state, then the job's post observer, if any.
void PostJobResult(InstallJob& job, uint32_t code, const WString& text, uint32_t percent);

}  // namespace vxk5
