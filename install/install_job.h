#pragma once
// The installation job: copies every file entry of a kit into the template
// directory, replacing an existing file only when the kit's copy is newer,
// as one transaction (install/transaction.h): everything or, after a failure
// or at the next start after a crash, nothing.
//
// The job reports through the InstallJobState only: code 0, the destination
// and the percentage before each entry; code 0, "Copying complete..." and 100
// once at the end; or the failure code, "Installation error" and the
// percentage of the entry being handled. A failure is posted before the
// transaction is rolled back (and, when an original could not be put back,
// once more afterwards with the place where the originals are kept).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/wstring.h"
#include "install/install_counts.h"
#include "install/transaction.h"
#include "platform/job_state.h"

namespace vxk5 {

class DistributionKit;

constexpr uint32_t kFinalPauseMilliseconds = 1000;

// What the caller sets before a run (the options) and reads after it (the
// results). Made anew for each run.
struct InstallJob {
    // The options.
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
    // Originals replaced by exchanging them with their new files in one
    // rename, where the file system can (TransactionOptions).
    bool exchangeOriginals = true;
    // Where the working names' numbers start (TransactionOptions).
    std::optional<uint64_t> firstWorkingNumber;
    // The kit is copied from once, as in the installer's one installation
    // per run: its container's bytes go back to the system as the files are
    // written (a container in memory would otherwise double what the
    // installation holds), and a later job on the same kit fails. Off, a kit
    // can serve any number of jobs.
    bool releaseCopiedBytes = false;
    // A kit read file table first whose entries' bytes follow one another
    // has its data area inflated straight into the files, on the job's
    // thread, rather than into its container first: each byte is written
    // once. The kit is copied from once, as above; the job's stream is
    // checked (kit_trailer.h) before the commit, as the container's is.
    bool inflateIntoFiles = false;
    // Keep a record of the installation, so that it can be taken back
    // (install/record_store.h), when it places any file; with what is known
    // of the kit it came from.
    bool keepRecord = false;
    std::string kitPath;
    uint64_t kitSize = 0;
    std::string kitCheck;  // "-" or empty for none
    // Sees every post, right after it has been made, on the job's thread.
    std::function<void(uint32_t code, const WString& text, uint32_t percent)> postObserver;

    // The results.
    InstallCounts counts;  // entries written new, replaced and kept
    // The first failure: its code, path and errno (0 when the failure was no
    // system call's, such as a refused entry name). Empty when nothing failed.
    Failure failure;
    bool backupKept = false;               // not every original could be put back
    bool kitDamaged = false;               // the kit's data area, unpacked for the first write, is damaged
    std::vector<std::string> notRestored;  // the originals that could not be put back
    std::string keptOriginals;             // where the originals are kept then
    JournalRecord record;                  // what the transaction journalled
    std::string stagingPath;               // where its staging directory was (ending with "/")
    // The record could not be written (its errno; 0 when it was, or none was
    // kept): the installation stands, and cannot be taken back.
    int recordError = 0;
    bool recordWritten = false;
    // The bytes of the originals it replaced that are kept, so that taking it
    // back puts them back (0 when none were replaced, or none are kept).
    uint64_t keptBytes = 0;
    // Dead installations found beside or inside the template directory and
    // recovered before this one began (their registry entries were lost).
    std::vector<RecoveryReport> recovered;
};

// Runs the whole job on `kit` (read-only, except its container's position and
// copy buffer, which only the job uses) and the target directory set up in
// `state`: an absolute path ending with "/" (install/target_form.h), or empty
// for a kit without entries. Any other form is refused before anything is
// made (ERR_INVALID_PARAMETER, errno EINVAL, the path as set up); an empty
// one for a kit with entries is ERR_PATH_NOT_FOUND. Succeeded(), or the code
// that ended it (after the rollback) with the path and errno of the job's
// first failure (those of job.failure).
Failure RunInstallJob(InstallJob& job, InstallJobState& state, DistributionKit* kit);

}  // namespace vxk5
