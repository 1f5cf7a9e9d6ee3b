#include "run/uninstall_worker.h"

#include <system_error>

namespace vxk5 {

UninstallWorker::~UninstallWorker() { Join(); }

void UninstallWorker::Join() {
    if (thread.joinable()) thread.join();
}

uint32_t UninstallPercent(uint32_t done, uint32_t total) {
    if (total == 0) return 0;
    const uint64_t percent = static_cast<uint64_t>(done) * 100 / total;
    return percent >= 100 ? 99 : static_cast<uint32_t>(percent);
}

bool StartUninstallWorker(UninstallWorker& worker, InstallJobState& state, UninstallOptions options,
                          const UninstallEngine& engine) {
    worker.Join();
    SetJobResult(state, 0, WString(), 0);
    options.progress = [&state](uint32_t done, uint32_t total) {
        SetJobResult(state, 0, WString(), UninstallPercent(done, total));
    };
    try {
        worker.thread = std::thread([&worker, &state, options, engine] {
            worker.result = engine(options);
            SetJobResult(state, 0, WString(), 100);  // after the result: the main thread joins, then reads it
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace vxk5
