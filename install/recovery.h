#pragma once
// Recovery at start: an installer that died (killed, crashed, power kept)
// leaves its journal k5stp<N>.journal and backup directory k5stp<N> in the
// temporary directory. Before anything else, each start looks for them and
// finishes what the dead installer began: without a commit record the
// recorded changes are rolled back (the file being written when it died goes
// with them, so the next installation writes it again); with one, only the
// backup is purged.
//
// Only journals that are regular files owned by this user with mode 0600, and
// whose lock no live installer holds, are touched; nothing outside a journal's
// template directory and its own backup directory is changed.

#include <vector>

#include "base/wstring.h"

namespace vxk5 {

struct RecoveryReport {
    enum class Outcome {
        RolledBack,  // the template directory is as it was before that installation
        Completed,   // the installation had committed; its backup was purged
        BackupKept,  // not every original could be put back: they wait in `backupDirectory`
        Unreadable,  // the journal does not parse; left in place
    };
    Outcome outcome = Outcome::RolledBack;
    WString journalPath;
    WString templateDirectory;  // empty for an unreadable journal
    WString backupDirectory;
};

// Looks in the temporary directory and recovers every left-over installation.
std::vector<RecoveryReport> RecoverInterruptedInstalls();

// The one line that tells the user about `report`, in the current language
// (English for an unreadable journal, which has no text of its own).
WString RecoveryMessage(const RecoveryReport& report);

}  // namespace vxk5
