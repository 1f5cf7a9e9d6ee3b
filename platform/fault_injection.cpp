#include "platform/fault_injection.h"

namespace vxk5 {

namespace {

FaultHook g_hook = nullptr;
void* g_context = nullptr;

}  // namespace

void SetFaultHook(FaultHook hook, void* context) {
    g_hook = hook;
    g_context = context;
}

int InjectedFault(FaultStep step, const std::string& path) {
    if (g_hook == nullptr) return 0;
    return g_hook(step, path, g_context);
}

}  // namespace vxk5
