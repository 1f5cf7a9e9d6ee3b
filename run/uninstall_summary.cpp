#include "run/uninstall_summary.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "base/conversion.h"
#include "config/config_file.h"
#include "config/template_locations.h"

namespace vxk5 {

WString DirectoryToUninstall(const WString& given) {
    if (!given.empty()) return TemplateLocations::Normalise(given);
    const TemplateLocations locations = TemplateLocations::Load();
    if (locations.Recorded().empty()) return WString();
    return TemplateLocations::Normalise(locations.Recorded().front());
}

std::string UninstallFailureText(const UninstallResult& result) {
    const int error = result.failure.error;
    std::string text = result.recordError == EPERM    ? "the installation's record is not to be trusted"
                       : result.recordError == EINVAL ? "the installation's record cannot be read"
                                                      : "the installation could not be taken back";
    if (error != 0 && result.recordError == 0) text += std::string(": ") + std::strerror(error);
    if (!result.failure.path.empty()) text += " (" + std::string(result.failure.path.c_str()) + ")";
    return text;
}

namespace {

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

}  // namespace

void SummariseUninstall(const UninstallResult& result, bool dryRun, RunSummary& summary) {
    KeepCounts(result, summary);
    if (!result.target.empty()) summary.templateDirectory = FromMultiByte(result.target);
    summary.messageKey.clear();
    switch (result.outcome) {
        case UninstallOutcome::NothingToUninstall:
            summary.outcome = RunOutcome::NothingToUninstall;
            summary.detail = "no installation of this directory is recorded";
            break;
        case UninstallOutcome::Uninstalled:
            summary.outcome = RunOutcome::Uninstalled;
            summary.detail = dryRun ? "what the uninstall would do" : "the installation was taken back";
            break;
        case UninstallOutcome::Failed:
            summary.outcome = RunOutcome::Failed;
            summary.errorCode = result.code;
            summary.detail = UninstallFailureText(result) +
                             (result.inPart ? "; taken back in part (the other files are unchanged): uninstall "
                                              "again to finish"
                                            : "; nothing was changed");
            break;
    }
}

void ForgetRemovedTemplate(const UninstallResult& result) {
    if (!result.templateRemoved) return;
    try {
        TemplateLocations::Load().Forget(FromMultiByte(result.target));
    } catch (const ConfigWriteError&) {
        // The launcher then names a directory that is gone, as after a removal by hand.
    }
}

}  // namespace vxk5
