#pragma once
// The uninstall on a thread of its own, for the wizard: its progress goes
// into an InstallJobState as the installation's does (a percentage below 100
// while files are judged and taken out, 100 once it has ended, whatever its
// outcome), and the result is read after Join.

#include <functional>
#include <thread>

#include "install/uninstall.h"
#include "platform/job_state.h"

namespace vxk5 {

// What takes the installation back: RunUninstall, or a test's stand-in.
using UninstallEngine = std::function<UninstallResult(const UninstallOptions&)>;

struct UninstallWorker {
    UninstallWorker() = default;
    ~UninstallWorker();  // joins a thread that has not been joined
    UninstallWorker(const UninstallWorker&) = delete;
    UninstallWorker& operator=(const UninstallWorker&) = delete;

    std::thread thread;
    UninstallResult result;  // written by the thread as it ends: read after Join

    void Join();
};

// The share of the work done, 0..99: 100 is kept for the end.
uint32_t UninstallPercent(uint32_t done, uint32_t total);

// Starts the thread on `options` (their progress is replaced); false when no
// thread could be made, and then nothing runs.
bool StartUninstallWorker(UninstallWorker& worker, InstallJobState& state, UninstallOptions options,
                          const UninstallEngine& engine);

}  // namespace vxk5
