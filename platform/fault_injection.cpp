#include "platform/fault_injection.h"

#include <mutex>

namespace vxk5 {

namespace {

FaultHook g_hook = nullptr;
void* g_context = nullptr;
// A job asks from two threads while it writes a batch's files; a test's hook
// counts and decides one question at a time.
std::mutex g_hookMutex;

}  // namespace

void SetFaultHook(FaultHook hook, void* context) {
    g_hook = hook;
    g_context = context;
}

bool FaultHookSet() { return g_hook != nullptr; }

int InjectedFault(FaultStep step, const std::string& path) {
    if (g_hook == nullptr) return 0;
    const std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_hook(step, path, g_context);
}

}  // namespace vxk5
