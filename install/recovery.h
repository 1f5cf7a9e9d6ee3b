#pragma once
// Recovery of installations that did not finish: an installer that died
// (killed, crashed, cut off by a power loss) leaves its staging directory with
// the journal and the originals beside or inside the template directory (see
// install/staging.h). The recovery finishes what it began: without a commit
// record the recorded changes are rolled back (the files being written go
// with them, and so do their temporary names, so the next installation writes
// them again); with one, only the staging directory is purged.
//
// It finds them in the per-user registry at every start, and beside and
// inside a template directory just before installing into it. It works from
// descriptors opened without following links only; it trusts only a staging
// directory owned by this user with mode 0700 whose journal (owned, mode
// 0600) no live installer holds; it takes the template directory's lock
// before touching it, and checks that the directory is the one the journal
// names (device and inode). When an original cannot be put back, the staging
// directory and the journal stay where they are, and the report says which
// originals are affected and where they are kept.

#include <string>
#include <vector>

#include "base/wstring.h"

namespace vxk5 {

struct RecoveryReport {
    enum class Outcome {
        RolledBack,  // the template directory is as it was before that installation
        Completed,   // the installation had committed; its staging directory was purged
        BackupKept,  // not every original could be put back: they wait in `backupDirectory`
        Unreadable,  // the journal does not parse; left in place
    };
    Outcome outcome = Outcome::RolledBack;
    WString journalPath;
    WString templateDirectory;        // empty for an unreadable journal
    WString backupDirectory;          // where the originals are kept
    std::vector<WString> notRestored; // BackupKept: the originals that are not back in place
};

// Recovers every unfinished installation this user's registry lists.
std::vector<RecoveryReport> RecoverInterruptedInstalls();

// Recovers what dead installers left beside and inside the template directory
// `target` (real path, ending with "/"), whose lock the caller holds on the
// open descriptor `lockedTarget`.
std::vector<RecoveryReport> RecoverBesideAndInside(int lockedTarget, const std::string& target);

// The text that tells the user about `report`, in the current language
// (English for an unreadable journal, which has no text of its own).
WString RecoveryMessage(const RecoveryReport& report);

// True for an outcome that leaves originals out of place: the run fails.
bool RecoveryFailed(const RecoveryReport& report);

}  // namespace vxk5
