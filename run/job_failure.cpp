#include "run/job_failure.h"

namespace vxk5 {

FailureDetail ReadInstallFailure(InstallWorker& worker, InstallJobState& /*state*/) {
    // The worker copies the job's record just before its thread ends.
    return FailureDetail{AString(worker.failure.path.c_str()), worker.failure.error};
}

}  // namespace vxk5
