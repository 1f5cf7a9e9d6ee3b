#pragma once
// Options for unattended deployment, recognised anywhere on the command line
// and apart from the switch scan (which passes over them and their values, as
// over any other argument it does not know):
//   --result=FILE   write a JSON document about the run to FILE when it ends
//   --exit-status   let the exit status tell the outcome (without it, 0)
//   --dry-run       tell what the installation would do, and write nothing
//   --uninstall[=DIR]  take back the latest recorded installation of DIR
//                   (without one, of the directory the launcher records
//                   first) instead of installing
//   --trusted-key=FILE  trust the minisign public key in FILE (repeatable);
//                   with any trusted key, only a kit signed by one installs
// --result and --trusted-key also take their value as the next argument
// ("--result FILE"), unless that one begins with "--" or there is none: the
// option then has no value. Any other argument that begins with "--" and is
// neither one of these nor the toolkit's is ignored with a warning.

#include <cstdint>
#include <string>
#include <vector>

#include "base/wstring.h"
#include "run/run_summary.h"

namespace vxk5 {

struct DeployOptions {
    bool exitStatus = false;
    bool dryRun = false;
    bool uninstall = false;
    WString uninstallDirectory;  // empty: the one the launcher records first
    bool wantsResult = false;
    AString resultPath;  // the last --result= given; may be empty
    // Every --trusted-key given, in order; one without a value gives an empty
    // name, which still puts the trust policy in force.
    std::vector<WString> trustedKeyFiles;
    std::vector<std::string> warnings;  // lines for standard error, without the program's name
};

DeployOptions ParseDeployOptions(int32_t argumentCount, char** argumentVector);

// The arguments the one at `index` spans: 2 for a two-word option with its
// value, else 1.
[[nodiscard]] int32_t ArgumentsTaken(int32_t argumentCount, char** argumentVector, int32_t index);

// 0 installed, up to date, uninstalled or nothing to uninstall, 1 failed, 2 no kit, a damaged kit or one the
// trust policy refused, 3 cancelled.
[[nodiscard]] int ExitStatusFor(RunOutcome outcome);

// Writes the result document when asked for (a failure is reported on standard
// error and changes nothing else) and returns the process's exit status.
[[nodiscard]] int FinishDeployment(const DeployOptions& options, const RunSummary& summary, double seconds);

}  // namespace vxk5
