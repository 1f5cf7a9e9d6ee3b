#include "install/install_worker.h"

#include <chrono>
#include <exception>
#include <functional>
#include <system_error>

#include "base/result_codes.h"
#include "install/install_job.h"
#include "lang/messages.h"

namespace vxk5 {

InstallWorker::~InstallWorker() { Join(); }

void InstallWorker::Join() {
    if (!joinable) return;
    thread.join();
    joinable = false;
}

bool StartWorker(InstallWorker& worker, InstallJobState& state, DistributionKit* kit) {
    worker.Join();  // one job at a time; a finished thread is reaped here
    worker.jobState = &state;
    worker.kit = kit;
    worker.creationResult = -1;
    worker.counts = InstallCounts{};
    worker.keptBytes = 0;
    worker.recovered.clear();
    try {
        worker.thread = std::thread(WorkerMain, std::ref(worker));
        worker.creationResult = 0;
    } catch (const std::system_error& refused) {
        worker.creationResult = refused.code().value();  // EAGAIN: no thread to be had
    }
    worker.joinable = worker.creationResult == 0;
    return worker.joinable;
}

void WorkerMain(InstallWorker& worker) {
    InstallJobState& state = *worker.jobState;
    worker.failure = Failure();
    InstallJob job;
    job.releaseCopiedBytes = true;  // the installer makes one installation of its kit
    job.inflateIntoFiles = true;    // so its bytes may go straight into the files
    job.keepRecord = true;          // so that it can be taken back
    job.kitPath = worker.kitPath;
    job.kitSize = worker.kitSize;
    job.kitCheck = worker.kitCheck;
    // Its outcome is posted to the job state and left in job.failure.
    (void)RunInstallJob(job, state, worker.kit);
    worker.failure = job.failure;
    worker.counts = job.counts;
    worker.keptBytes = job.keptBytes;
    worker.recovered = std::move(job.recovered);
    worker.recordError = job.recordError;
}

void SleepMilliseconds(uint32_t milliseconds) {
    if (milliseconds != 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace vxk5
