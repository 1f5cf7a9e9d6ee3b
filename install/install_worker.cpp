#include "install/install_worker.h"

#include <unistd.h>

#include <exception>

#include "base/result_codes.h"
#include "install/backup.h"
#include "install/install_job.h"
#include "lang/messages.h"
#include "platform/posix_objects.h"

namespace vxk5 {

InstallWorker::~InstallWorker() { Join(); }

void InstallWorker::Join() {
    if (!joinable) return;
    ::pthread_join(thread, nullptr);
    joinable = false;
}

bool StartWorker(InstallWorker& worker, InstallJobState& state, DistributionKit* kit) {
    worker.Join();  // one job at a time; a finished thread is reaped here
    worker.jobState = &state;
    worker.kit = kit;
    worker.creationResult = -1;
    worker.counts = InstallCounts{};
    ThreadAttributes attributes;
    if (!attributes.ok()) return false;
    worker.creationResult = ::pthread_create(&worker.thread, attributes.get(), WorkerMain, &worker);
    worker.joinable = worker.creationResult == 0;
    return worker.joinable;
}

void* WorkerMain(void* argument) {
    InstallWorker& worker = *static_cast<InstallWorker*>(argument);
    InstallJobState& state = *worker.jobState;
    worker.failure = Failure();
    InstallJob job;
    try {
        // Its outcome is posted to the job state and left in job.failure.
        (void)RunInstallJob(job, state, worker.kit);
    } catch (const std::exception&) {
        // Out of memory part-way: the journal is still here, so the failure is
        // posted and the job undone as for any other failure.
        uint32_t code = 0;
        WString text;
        uint32_t percent = 0;
        GetJobResult(state, code, text, percent);
        // ReportInstallError posts the failure and hands back the code it was given.
        if (code == ERR_SUCCESS && percent < 100) (void)ReportInstallError(job, ERR_INVALID_PARAMETER, percent);
    }
    worker.failure = job.failure;
    worker.counts = job.counts;
    return nullptr;
}

void SleepMilliseconds(uint32_t milliseconds) {
    // useconds_t holds 32 bits: longer pauses go in several calls.
    constexpr uint64_t kLongestCall = 4000000000u;
    uint64_t microseconds = static_cast<uint64_t>(milliseconds) * 1000;
    while (microseconds > 0) {
        const uint64_t slice = microseconds < kLongestCall ? microseconds : kLongestCall;
        ::usleep(static_cast<useconds_t>(slice));
        microseconds -= slice;
    }
}

}  // namespace vxk5
