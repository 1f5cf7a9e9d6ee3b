#pragma once
// The installation job's record of what it placed, written beside the
// installation so that it can be taken back: opened once the transaction has
// begun, a line for each file as it takes its name, ended and made durable
// right after the commit, before the job reports its success. A record that
// cannot be written costs the installation nothing but its way back.

#include "install/copy_run.h"

namespace vxk5 {

// Starts the record when the job keeps one.
void OpenInstallRecord(CopyRun& run);
// `pending` has taken its name.
void RecordPlaced(CopyRun& run, const PendingFile& pending);
// After the commit: the directories made, the commit's time, and the record's name.
void FinishInstallRecord(CopyRun& run);

}  // namespace vxk5
