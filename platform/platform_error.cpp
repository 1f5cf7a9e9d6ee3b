#include "platform/platform_error.h"

#include <cerrno>
#include <utility>

#include "base/result_codes.h"
#include "platform/file_handle.h"

namespace vxk5 {

namespace {

// One value per thread: callers read it right after the failing call on the
// same thread, and the job writes a batch's files on two threads, so one
// thread's failure must not be overwritten by the other's.
thread_local uint32_t g_lastError = 0;
thread_local int g_lastErrno = 0;

}  // namespace

uint32_t CodeFromErrno(int error) { return error == ENOENT ? ERR_NOT_FOUND : ERR_INVALID_PARAMETER; }

Failure FailureFromErrno(int error, std::string path) {
    return FailureOf(CodeFromErrno(error), error, std::move(path));
}

uint32_t FailWith(uint32_t code) {
    g_lastError = code;
    g_lastErrno = 0;
    return code;
}

void ClearPlatformError() {
    g_lastError = 0;
    g_lastErrno = 0;
}

uint32_t FailWithErrno(int error) { return FailWithErrno(error, CodeFromErrno(error)); }

uint32_t FailWithErrno(int error, uint32_t code) {
    (void)FailWith(code);  // stores the code, returned below
    g_lastErrno = error;
    return code;
}

int GetPlatformErrno() { return g_lastErrno; }

uint32_t GetPlatformError() { return g_lastError; }

}  // namespace vxk5
