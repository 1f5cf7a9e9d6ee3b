#pragma once
// The one mapping from errno to result codes, and the process-wide last error
// of the handle interface.

#include <cstdint>

// ENOENT is ERR_NOT_FOUND; every other platform failure is ERR_INVALID_PARAMETER.
uint32_t CodeFromErrno(int error);

// Stores `code` as the last error and returns it, so failures read
// `return FailWith(code);`.
uint32_t FailWith(uint32_t code);
void ClearPlatformError();
