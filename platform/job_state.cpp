#include "platform/job_state.h"

#include <cerrno>

namespace vxk5 {

namespace {

// Holds the record's semaphore for one copy in or out; released on every path,
// also when a copy throws.
class LockGuard {
public:
    explicit LockGuard(sem_t& lock) : lock_(lock) {
        while (::sem_wait(&lock_) != 0 && errno == EINTR) {
        }
    }
    ~LockGuard() { ::sem_post(&lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    sem_t& lock_;
};

}  // namespace

InstallJobState::InstallJobState() {
    ::sem_init(&lock, 0, 1);
    InitJobState(*this);
}

InstallJobState::~InstallJobState() { ::sem_destroy(&lock); }

// The semaphore is made once, by the constructor; making it again on a live
// record could pull it from under a thread that holds it.
void InitJobState(InstallJobState& state) {
    LockGuard guard(state.lock);
    state.targetDirectory = WString();
    state.resultCode = 0;
    state.message = WString();
    state.percent = 0;
    state.waiting = false;
}

void SetupJob(InstallJobState& state, const WString& targetDirectory) {
    LockGuard guard(state.lock);
    state.resultCode = 0;
    state.percent = 0;
    state.waiting = false;
    state.targetDirectory = targetDirectory;
}

void GetJobSetup(InstallJobState& state, WString& targetDirectory) {
    LockGuard guard(state.lock);
    targetDirectory = state.targetDirectory;
}

void SetJobResult(InstallJobState& state, uint32_t code, const WString& message, uint32_t percent) {
    LockGuard guard(state.lock);
    state.resultCode = code;
    state.message = message;
    state.percent = percent;
}

void GetJobResult(InstallJobState& state, uint32_t& code, WString& message, uint32_t& percent) {
    LockGuard guard(state.lock);
    code = state.resultCode;
    message = state.message;
    percent = state.percent;
}

void SetJobWaiting(InstallJobState& state, bool waiting) {
    LockGuard guard(state.lock);
    state.waiting = waiting;
}

bool GetJobWaiting(InstallJobState& state) {
    LockGuard guard(state.lock);
    return state.waiting;
}

}  // namespace vxk5
