#pragma once
// The dry run: after the usual preparation, what the installation would do
// with each entry, one line per entry on standard output:
//   <action> TAB <destination> [TAB <reason>]
// with the action "new", "replace", "keep" or "refuse". Control characters and
// "\" in a destination are written as escapes (\t, \n, \\, \xHH), so that every
// entry stays on its own line. Nothing is written anywhere else.

#include <string>

#include "base/wstring.h"
#include "kit/distribution_kit.h"
#include "run/run_summary.h"

namespace vxk5 {

// Prints the plan for `kit` in `templateDirectory` and tells the outcome in
// `summary` (its counts, and a failure when a line could not be written or an
// entry could not be installed).
// A path as a dry run's line shows it: "\\", "\t", "\n" and "\xNN" for the
// backslash and the control bytes, so that one line is one entry.
std::string PrintablePath(const std::string& bytes);

void PrintDryRun(const DistributionKit& kit, const WString& templateDirectory, RunSummary& summary);

}  // namespace vxk5
