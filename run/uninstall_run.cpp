#include "run/uninstall_run.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/conversion.h"
#include "config/config_file.h"
#include "config/template_locations.h"
#include "install/recovery.h"
#include "install/uninstall.h"
#include "run/dry_run.h"
#include "run/recovery_notices.h"

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

// The directory given, or the first the launcher records.
WString DirectoryToTakeBack(const UninstallRequest& request) {
    if (!request.directory.empty()) return TemplateLocations::Normalise(request.directory);
    const TemplateLocations locations = TemplateLocations::Load();
    if (locations.Recorded().empty()) return WString();
    return TemplateLocations::Normalise(locations.Recorded().front());
}

void KeepCounts(const UninstallResult& result, RunSummary& summary) {
    UninstallCounts& counts = summary.uninstalled;
    counts.removed = result.removed;
    counts.restored = result.restored;
    counts.missing = result.missing;
    counts.directoriesRemoved = result.directoriesRemoved;
    counts.originalsNotKept = result.originalsNotKept;
    counts.keptChanged = result.keptChanged;
    counts.templateRemoved = result.templateRemoved;
    counts.installedAt = result.installedAt;
}

// What was done, a line each, after a real uninstall.
void TellDone(const UninstallResult& result) {
    for (const std::string& path : result.keptChanged) Say("keep-changed " + PrintablePath(path));
    Say("uninstalled " + PrintablePath(result.target) + ": " + std::to_string(result.removed) + " removed, " +
        std::to_string(result.restored) + " restored, " +
        std::to_string(result.keptChanged.size()) + " kept as changed since, " +
        std::to_string(result.directoriesRemoved) + " directories removed" +
        (result.templateRemoved ? ", the template directory removed" : ""));
    if (result.originalsNotKept != 0) {
        Say("not restored: " + std::to_string(result.originalsNotKept) +
            " of the files removed had replaced files that were not kept");
    }
}

void Failed(const UninstallResult& result, RunSummary& summary) {
    summary.outcome = RunOutcome::Failed;
    summary.errorCode = result.code;
    summary.messageKey.clear();
    const int error = result.failure.error;
    std::string detail = result.recordError == EPERM   ? "the installation's record is not to be trusted"
                         : result.recordError == EINVAL ? "the installation's record cannot be read"
                                                        : "the installation could not be taken back";
    if (error != 0 && result.recordError == 0) detail += std::string(": ") + std::strerror(error);
    if (!result.failure.path.empty()) detail += " (" + std::string(result.failure.path.c_str()) + ")";
    summary.detail = detail + "; nothing was changed";
    TellOnStandardError(FromMultiByte(summary.detail), NoticeKind::Error);
}

}  // namespace

void RunUninstallRequest(const UninstallRequest& request, RunSummary& summary) {
    summary.uninstall = true;
    summary.dryRun = request.dryRun;
    if (!request.dryRun) TellRecoveries(RecoverInterruptedInstalls(), TellOnStandardError, summary);
    UninstallOptions options;
    options.directory = DirectoryToTakeBack(request);
    options.dryRun = request.dryRun;
    options.dryRunLine = [](const std::string& line) { Say(line); };
    summary.templateDirectory = options.directory;
    const UninstallResult result = RunUninstall(options);
    KeepCounts(result, summary);
    if (!result.target.empty()) summary.templateDirectory = FromMultiByte(result.target);
    switch (result.outcome) {
        case UninstallOutcome::NothingToUninstall:
            summary.outcome = RunOutcome::NothingToUninstall;
            summary.messageKey.clear();
            summary.detail = "no installation of this directory is recorded";
            Say("nothing to uninstall in " + PrintablePath(ToMultiByteString(options.directory)));
            break;
        case UninstallOutcome::Uninstalled:
            summary.outcome = RunOutcome::Uninstalled;
            summary.messageKey.clear();
            summary.detail = request.dryRun ? "what the uninstall would do" : "the installation was taken back";
            if (!request.dryRun) TellDone(result);
            if (result.templateRemoved) {
                try {
                    TemplateLocations::Load().Forget(FromMultiByte(result.target));
                } catch (const ConfigWriteError&) {
                    // The launcher then names a directory that is gone, as after a removal by hand.
                }
            }
            break;
        case UninstallOutcome::Failed:
            Failed(result, summary);
            break;
    }
    summary.ApplyRecoveryFailure();
}

}  // namespace vxk5
