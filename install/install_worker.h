#pragma once
// The worker thread that runs the installation job once. It touches nothing
// but the InstallJobState (under its lock) and the kit it was started on
// (read-only, except the container's position and copy buffer, which only the
// job uses).
//
// The worker owns its thread: Join waits for it (a failed job posts its
// failure before it rolls back, so the controller joins before the process
// may end), and the destructor joins a thread still running.

#include <cstdint>
#include <thread>
#include <vector>

#include "install/install_job.h"
#include "install/install_counts.h"
#include "install/recovery.h"
#include "platform/job_state.h"

namespace vxk5 {

struct InstallWorker {
    InstallWorker() = default;
    ~InstallWorker();  // joins a thread that has not been joined
    InstallWorker(const InstallWorker&) = delete;
    InstallWorker& operator=(const InstallWorker&) = delete;

    InstallJobState* jobState = nullptr;  // not owned
    DistributionKit* kit = nullptr;       // not owned
    // What the installation's record says of the kit (set before the start).
    std::string kitPath;
    uint64_t kitSize = 0;
    std::string kitCheck;
    std::thread thread;
    // -1 until a thread is requested, then 0 when it started or the errno
    // value that kept it from starting.
    int32_t creationResult = -1;
    bool joinable = false;        // a thread was started and not yet joined
    // Why the last job failed (its code, path and errno); written by the
    // worker thread before it ends, so read it only after Join.
    Failure failure;
    InstallCounts counts;         // the job's counts, left by the thread as it ends: read after Join
    uint64_t keptBytes = 0;       // the job's keptBytes, the same way
    std::vector<RecoveryReport> recovered;  // what the job recovered before it began: read after Join
    int recordError = 0;          // the installation's record could not be written (errno): read after Join

    // Waits for the thread, if one is running or has not been joined.
    void Join();
};

// Starts the worker thread on `state` (which must already be set up) and
// `kit`, which must outlive the thread. True when a thread was started; the
// outcome is also left in creationResult. A thread of an earlier start is
// joined first.
bool StartWorker(InstallWorker& worker, InstallJobState& state, DistributionKit* kit);

// The thread's entry: runs one InstallJob on the worker's job state.
void WorkerMain(InstallWorker& worker);

// Suspends the calling thread for `milliseconds`.
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace vxk5
