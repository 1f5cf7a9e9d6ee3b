#pragma once
// The installation job's record of what it placed, written beside the
// installation so that it can be taken back: opened once the transaction has
// begun, a line for each file as it takes its name, ended and made durable
// right before the commit (a commit never stands without its record), and
// withdrawn when the commit fails; the recovery of a dead installation
// withdraws it too. A record that cannot be written costs the installation
// nothing but its way back, and the originals it replaces are then not kept.

#include "install/copy_run.h"

namespace vxk5 {

// Starts the record when the job keeps one.
void OpenInstallRecord(CopyRun& run);
// `pending` has taken its name.
void RecordPlaced(CopyRun& run, const PendingFile& pending);
// Before the commit: the directories made, the kept originals' directory, the
// time, and the record's name.
void FinishInstallRecord(CopyRun& run);
// After the commit (`committed`) or its failure: the oldest records pruned,
// or this one withdrawn.
void SettleInstallRecord(CopyRun& run, bool committed);

}  // namespace vxk5
