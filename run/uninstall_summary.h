#pragma once
// What every way of taking an installation back shares: which directory is
// meant, what goes into the run's summary (counts, outcome and its English
// words), and the launcher forgetting a template directory that went.

#include "base/wstring.h"
#include "install/uninstall.h"
#include "run/run_summary.h"

namespace vxk5 {

// `given` normalised, or, when empty, the first directory the launcher
// records; empty when it records none.
WString DirectoryToUninstall(const WString& given);

// The result's counts, its outcome and the English detail of the summary.
// `dryRun`: the result tells what the uninstall would do.
void SummariseUninstall(const UninstallResult& result, bool dryRun, RunSummary& summary);

// Why a failed uninstall failed, in English: the record's state or the
// system's reason, and the path concerned.
std::string UninstallFailureText(const UninstallResult& result);

// After the template directory itself went: the launcher's configuration no
// longer names it. A configuration that cannot be written is left as it is.
void ForgetRemovedTemplate(const UninstallResult& result);

}  // namespace vxk5
