#include "platform/platform_error.h"

#include <cerrno>
#include <atomic>
#include <utility>

#include "base/result_codes.h"
#include "platform/file_handle.h"

namespace vxk5 {

namespace {

// One value for the whole process, not per thread: callers read it right after
// the failing call on the same thread. Atomic so that a stray concurrent use
// is merely a lost value, never a data race.
std::atomic<uint32_t> g_lastError{0};
std::atomic<int> g_lastErrno{0};

}  // namespace

uint32_t CodeFromErrno(int error) { return error == ENOENT ? ERR_NOT_FOUND : ERR_INVALID_PARAMETER; }

Failure FailureFromErrno(int error, std::string path) {
    return FailureOf(CodeFromErrno(error), error, std::move(path));
}

uint32_t FailWith(uint32_t code) {
    g_lastError.store(code, std::memory_order_relaxed);
    g_lastErrno.store(0, std::memory_order_relaxed);
    return code;
}

void ClearPlatformError() {
    g_lastError.store(0, std::memory_order_relaxed);
    g_lastErrno.store(0, std::memory_order_relaxed);
}

uint32_t FailWithErrno(int error) { return FailWithErrno(error, CodeFromErrno(error)); }

uint32_t FailWithErrno(int error, uint32_t code) {
    (void)FailWith(code);  // stores the code, returned below
    g_lastErrno.store(error, std::memory_order_relaxed);
    return code;
}

int GetPlatformErrno() { return g_lastErrno.load(std::memory_order_relaxed); }

uint32_t GetPlatformError() { return g_lastError.load(std::memory_order_relaxed); }

}  // namespace vxk5
