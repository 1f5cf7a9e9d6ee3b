#pragma once
// How a run ended, gathered by the controller as it goes, for callers that
// deploy without watching: the result document and the exit status.

#include <cstdint>
#include <string>
#include <vector>

#include "base/wstring.h"
#include "install/install_counts.h"
#include "kit/kit_trailer.h"

namespace vxk5 {

enum class RunOutcome {
    Installed,  // files were written
    UpToDate,   // the installation succeeded without writing a file
    Failed,     // nothing was installed, or everything was rolled back
    Cancelled,  // the run ended before an installation happened
    NoKit,      // no kit, or one that cannot be read
    Untrusted,  // a trust policy is in force and the kit is not signed by a trusted key
    Uninstalled,         // the latest recorded installation was taken back
    NothingToUninstall,  // no installation of the directory is recorded
};

// What an uninstall did, or for a dry run would do.
struct UninstallCounts {
    uint32_t removed = 0;             // files taken out
    uint32_t restored = 0;            // originals they had replaced, put back
    uint32_t missing = 0;             // files already gone
    uint32_t directoriesRemoved = 0;  // directories the installation made
    uint32_t originalsNotKept = 0;    // originals its files replaced, which cannot come back
    std::vector<std::string> keptChanged;  // files changed since, kept
    bool templateRemoved = false;     // the template directory went too
    int64_t installedAt = 0;          // when the installation taken back was made (POSIX time)
};

struct RunSummary {
    RunOutcome outcome = RunOutcome::Cancelled;
    // The key of the message that tells the outcome; empty with `detail` instead.
    std::string messageKey = "IDS_CANCEL_FINISH";
    std::string detail;         // English text where no message key applies
    uint32_t errorCode = 0;     // the code that ended a failed installation
    WString kitPath;
    WString templateDirectory;
    InstallCounts counts;       // of a successful installation, or of a dry run's plan
    uint64_t keptBytes = 0;     // of the originals it replaced, kept to be put back by --uninstall
    uint32_t refused = 0;       // entries a dry run found no way to install
    bool recorded = false;      // the directory was written into the launcher configuration
    // Interrupted installations put right before this one: those the registry
    // listed at the start and those found beside or inside the template
    // directory as the installation began.
    uint32_t recoveredAtStart = 0;
    bool recoveryFailed = false;    // an interrupted installation's originals could not all be put back
    bool dryRun = false;
    bool uninstall = false;     // the run took an installation back (UninstallCounts)
    UninstallCounts uninstalled;
    // The kit's signature when a trusted key verified it; empty otherwise.
    std::string signatureKeyId;
    std::string signatureTrustedComment;
    // What the kit's check said of its deflate stream, as far as the run
    // read it: Pending when it never read the stream to its end (a run that
    // wrote no file does not unpack the data area).
    KitCheck kitCheck = KitCheck::Pending;

    // A failure reported by message key: a missing or unreadable kit is
    // NoKit, a kit refused by the trust policy Untrusted, anything else Failed.
    void Fail(const char* key) {
        const std::string text = key;
        if (text == "IDS_ERROR_NOSOURCE" || text == "IDS_ERROR_DAMAGEDSOURCE") {
            outcome = RunOutcome::NoKit;
        } else if (text.rfind("IDS_ERROR_UNTRUSTED_", 0) == 0) {
            outcome = RunOutcome::Untrusted;
        } else {
            outcome = RunOutcome::Failed;
        }
        messageKey = text;
        detail.clear();
    }

    // Originals left out of place by a recovery make the run a failure,
    // whatever else it did.
    void ApplyRecoveryFailure() {
        if (!recoveryFailed || outcome == RunOutcome::Failed || outcome == RunOutcome::NoKit) return;
        outcome = RunOutcome::Failed;
        messageKey = "IDS_ERROR_BACKUPKEPT";
        detail.clear();
    }
};

}  // namespace vxk5
