#pragma once
// What a run says and counts of the interrupted installations it recovered:
// those its registry listed at the start, and those the installation found
// beside or inside the template directory, alike.

#include <vector>

#include "install/recovery.h"
#include "run/notice_sink.h"
#include "run/run_summary.h"

namespace vxk5 {

// Tells each report (an unreadable journal as one English line on standard
// error, every other through `tell`) and adds the recovered ones to
// summary.recoveredAtStart; one that left originals out of place sets
// summary.recoveryFailed.
void TellRecoveries(const std::vector<RecoveryReport>& reports, const NoticeSink& tell, RunSummary& summary);

}  // namespace vxk5
