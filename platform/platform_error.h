#pragma once
// The one mapping from errno to result codes, and the last error of the
// handle interface (one per thread).

#include <cstdint>
#include <string>

#include "base/failure.h"

namespace vxk5 {

// ENOENT is ERR_NOT_FOUND; every other platform failure is ERR_INVALID_PARAMETER.
[[nodiscard]] uint32_t CodeFromErrno(int error);

// The failure of a system call on `path` that set `error`: CodeFromErrno's
// code with the errno value itself.
Failure FailureFromErrno(int error, std::string path);

// Stores `code` as the last error and returns it, so failures read
// `return FailWith(code);`.
[[nodiscard]] uint32_t FailWith(uint32_t code);
void ClearPlatformError();

// FailWith(CodeFromErrno(error)), keeping the errno value itself as well, so
// that a failure can be told in the system's own words.
[[nodiscard]] uint32_t FailWithErrno(int error);
// The same with a code of the caller's choosing.
[[nodiscard]] uint32_t FailWithErrno(int error, uint32_t code);
// The errno value of the last failure stored with FailWithErrno; 0 after a
// success or a failure that had none.
[[nodiscard]] int GetPlatformErrno();

}  // namespace vxk5
