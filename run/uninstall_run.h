#pragma once
// The uninstall as a run of its own, without a window: the template
// directory named (or the first the launcher records), interrupted
// operations recovered first, the latest recorded installation taken back
// (install/uninstall.h), the launcher configuration told when the template
// directory went, and a line for each thing done on standard output (a dry
// run: "remove", "restore", "keep-changed" and "remove-dir" lines, and
// nothing done).

#include "base/wstring.h"
#include "run/run_summary.h"

namespace vxk5 {

struct UninstallRequest {
    WString directory;  // as given; empty for the first the launcher records
    bool dryRun = false;
};

// Runs it and fills `summary` (outcome Uninstalled, NothingToUninstall or Failed).
void RunUninstallRequest(const UninstallRequest& request, RunSummary& summary);

}  // namespace vxk5
