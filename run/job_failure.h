#pragma once
// Where the copying phase learns which file or directory a failed
// installation was working on and why the system refused it.

#include "install/install_worker.h"
#include "platform/job_state.h"
#include "run/failure_reason.h"

namespace vxk5 {

// The failure the install job recorded, read on the main thread once the
// worker has ended (the controller joins it after a failure). Empty when the
// job recorded none.
FailureDetail ReadInstallFailure(InstallWorker& worker, InstallJobState& state);

}  // namespace vxk5
