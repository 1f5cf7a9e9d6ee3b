#include "ui/job_failure.h"

FailureDetail ReadInstallFailure(InstallWorker& worker, InstallJobState& state) {
    (void)worker;
    (void)state;
    // The job does not hand over the path and errno of its failure yet.
    return FailureDetail{};
}
