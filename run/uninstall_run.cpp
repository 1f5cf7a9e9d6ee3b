#include "run/uninstall_run.h"

#include <cstdio>
#include <string>

#include "base/conversion.h"
#include "install/recovery.h"
#include "install/uninstall.h"
#include "run/dry_run.h"
#include "run/recovery_notices.h"
#include "run/uninstall_summary.h"

namespace vxk5 {

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void TellOnStandardError(const WString& text, NoticeKind) {
    std::fprintf(stderr, "vxk5-setup: %s\n", ToMultiByteString(text).c_str());
    std::fflush(stderr);
}

// What was done, a line each, after a real uninstall.
void TellDone(const UninstallResult& result) {
    for (const std::string& path : result.keptChanged) Say("keep-changed " + PrintablePath(path));
    Say("uninstalled " + PrintablePath(result.target) + ": " + std::to_string(result.removed) + " removed, " +
        std::to_string(result.restored) + " restored, " + std::to_string(result.keptChanged.size()) +
        " kept as changed since, " + std::to_string(result.directoriesRemoved) + " directories removed" +
        (result.templateRemoved ? ", the template directory removed" : ""));
    if (result.originalsNotKept != 0) {
        Say("not restored: " + std::to_string(result.originalsNotKept) +
            " of the files removed had replaced files that were not kept");
    }
}

}  // namespace

void RunUninstallRequest(const UninstallRequest& request, RunSummary& summary) {
    summary.uninstall = true;
    summary.dryRun = request.dryRun;
    if (!request.dryRun) TellRecoveries(RecoverInterruptedInstalls(), TellOnStandardError, summary);
    UninstallOptions options;
    options.directory = DirectoryToUninstall(request.directory);
    options.dryRun = request.dryRun;
    options.dryRunLine = [](const std::string& line) { Say(line); };
    summary.templateDirectory = options.directory;
    const UninstallResult result = RunUninstall(options);
    SummariseUninstall(result, request.dryRun, summary);
    switch (result.outcome) {
        case UninstallOutcome::NothingToUninstall:
            Say("nothing to uninstall in " + PrintablePath(ToMultiByteString(options.directory)));
            break;
        case UninstallOutcome::Uninstalled:
            if (!request.dryRun) TellDone(result);
            ForgetRemovedTemplate(result);
            break;
        case UninstallOutcome::Failed:
            TellOnStandardError(FromMultiByte(summary.detail), NoticeKind::Error);
            break;
    }
    summary.ApplyRecoveryFailure();
}

}  // namespace vxk5
