#pragma once
// The one mapping from errno to result codes, and the process-wide last error
// of the handle interface.

#include <cstdint>

namespace vxk5 {

// ENOENT is ERR_NOT_FOUND; every other platform failure is ERR_INVALID_PARAMETER.
uint32_t CodeFromErrno(int error);

// Stores `code` as the last error and returns it, so failures read
// `return FailWith(code);`.
uint32_t FailWith(uint32_t code);
void ClearPlatformError();

// FailWith(CodeFromErrno(error)), keeping the errno value itself as well, so
// that a failure can be told in the system's own words.
uint32_t FailWithErrno(int error);
// The same with a code of the caller's choosing.
uint32_t FailWithErrno(int error, uint32_t code);
// The errno value of the last failure stored with FailWithErrno; 0 after a
// success or a failure that had none.
int GetPlatformErrno();

}  // namespace vxk5
