#pragma once
// The record through which the main thread hands the installation to the
// worker and polls its progress. Every access takes `lock` (a semaphore used
// as a mutex) only while values are copied in or out.

#include <semaphore.h>

#include <cstdint>

#include "base/wstring.h"

namespace vxk5 {

struct InstallJobState {
    InstallJobState();   // InitJobState
    ~InstallJobState();  // destroys the semaphore
    InstallJobState(const InstallJobState&) = delete;
    InstallJobState& operator=(const InstallJobState&) = delete;

    sem_t lock;
    WString targetDirectory;  // as set up: the job checks its form
    uint32_t resultCode = 0;
    WString message;
    uint32_t percent = 0;
    // The job waits for another installer to leave the template directory.
    bool waiting = false;
};

void InitJobState(InstallJobState& state);
// Clears the code, the percentage and the waiting state, and keeps
// `targetDirectory` as given (the job takes it in the form it states).
void SetupJob(InstallJobState& state, const WString& targetDirectory);
void GetJobSetup(InstallJobState& state, WString& targetDirectory);
void SetJobResult(InstallJobState& state, uint32_t code, const WString& message, uint32_t percent);
void GetJobResult(InstallJobState& state, uint32_t& code, WString& message, uint32_t& percent);
void SetJobWaiting(InstallJobState& state, bool waiting);
bool GetJobWaiting(InstallJobState& state);

}  // namespace vxk5
