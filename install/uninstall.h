#pragma once
// Taking back the latest recorded installation of a template directory
// (install/record_store.h), through the same transaction as installing.
// Before its commit record nothing changes: the record is read and trusted,
// the directory proved to be the one recorded, every directory holding its
// files proved changeable by this process, and the take-back journalled.
// After the commit record (and finished by the recovery should the process
// die there) each file it placed that is still the file it placed (same
// identity, size and modification time) is removed, and the original it
// replaced, when the installation kept it (install/kept_generation.h), is
// put back (install/take_back.h); a file changed or replaced since is kept
// and listed. Then the record goes, so that the next one takes back the
// installation before, and so do the rest of the kept originals, the
// directories it made when they are empty, and the template directory
// itself when the installation made it and nothing is left in it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/wstring.h"
#include "install/recovery.h"
#include "install/transaction.h"

namespace vxk5 {

enum class UninstallOutcome { Uninstalled, NothingToUninstall, Failed };

struct UninstallOptions {
    WString directory;  // the template directory, absolute
    bool dryRun = false;
    DurabilityMode durability = DurabilityMode::SyncFileSystem;
    std::optional<uint64_t> firstWorkingNumber;  // TransactionOptions
    // A dry run's lines ("remove PATH", "restore PATH" for a file whose
    // original comes back, "keep-changed PATH", "remove-dir PATH").
    std::function<void(const std::string& line)> dryRunLine;
    // Told how many of the recorded files have been judged and taken out
    // (done, of total), from the thread running the uninstall.
    std::function<void(uint32_t done, uint32_t total)> progress;
};

struct UninstallResult {
    UninstallOutcome outcome = UninstallOutcome::Failed;
    std::string target;              // the template directory's real path, ending with "/"
    int64_t installedAt = 0;         // when the installation taken back was committed (POSIX time)
    uint32_t removed = 0;            // files taken out (a dry run: to take out)
    uint32_t restored = 0;           // originals they had replaced, put back (a dry run: to put back)
    uint32_t missing = 0;            // files already gone
    uint32_t directoriesRemoved = 0; // directories the installation made, removed (a dry run: recorded)
    // Files removed that had replaced an original which was not kept: it cannot come back.
    uint32_t originalsNotKept = 0;
    std::vector<std::string> keptChanged;  // files changed or replaced since, kept (absolute)
    bool templateRemoved = false;    // the template directory itself went
    // Failed after the commit record: what the counts say was done, the
    // rest was not, and the record stays for another uninstall to finish.
    bool inPart = false;
    uint32_t code = 0;               // of a failure
    Failure failure;
    // Why the record was not used: EPERM (not this user's, writable by others,
    // naming another directory) or EINVAL (unreadable); 0 otherwise.
    int recordError = 0;
    std::vector<RecoveryReport> recovered;  // dead operations found there and recovered first
};

UninstallResult RunUninstall(const UninstallOptions& options);

}  // namespace vxk5
