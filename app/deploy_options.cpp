#include "app/deploy_options.h"

#include <cstring>

#include "app/result_document.h"
#include "base/conversion.h"

namespace vxk5 {

DeployOptions ParseDeployOptions(int32_t argumentCount, char** argumentVector) {
    static constexpr char kResult[] = "--result=";
    static constexpr char kTrustedKey[] = "--trusted-key=";
    DeployOptions options;
    for (int32_t i = 1; i < argumentCount; ++i) {
        const char* argument = argumentVector[i];
        if (std::strcmp(argument, "--exit-status") == 0) {
            options.exitStatus = true;
        } else if (std::strcmp(argument, "--dry-run") == 0) {
            options.dryRun = true;
        } else if (std::strncmp(argument, kResult, sizeof kResult - 1) == 0) {
            options.wantsResult = true;
            options.resultPath = AString(argument + sizeof kResult - 1);
        } else if (std::strncmp(argument, kTrustedKey, sizeof kTrustedKey - 1) == 0) {
            // An empty name still puts the policy in force: it names no usable key.
            options.trustedKeyFiles.push_back(FromMultiByte(AString(argument + sizeof kTrustedKey - 1)));
        }
    }
    return options;
}

int ExitStatusFor(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Installed:
        case RunOutcome::UpToDate: return 0;
        case RunOutcome::Failed: return 1;
        case RunOutcome::NoKit:
        case RunOutcome::Untrusted: return 2;
        case RunOutcome::Cancelled: return 3;
    }
    return 1;
}

int FinishDeployment(const DeployOptions& options, const RunSummary& summary, double seconds) {
    // A result file that cannot be written is reported on standard error by
    // WriteResultFile and changes nothing else of the run.
    if (options.wantsResult) (void)WriteResultFile(options.resultPath, ResultDocument(summary, seconds));
    return options.exitStatus ? ExitStatusFor(summary.outcome) : 0;
}

}  // namespace vxk5
