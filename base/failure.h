#pragma once
// What stopped an operation: its result code, the system's errno value and the
// path it was working on, carried together so that whoever reports it names
// the same file and reason the failed call met.

#include <cstdint>
#include <string>
#include <utility>

#include "base/result_codes.h"

namespace vxk5 {

// The errno a failure carries when an entry it was to replace was changed by
// someone else after it had been judged: no system call's, so below them all.
constexpr int kChangedMeanwhile = -1;

struct [[nodiscard]] Failure {
    uint32_t code = ERR_SUCCESS;  // ERR_SUCCESS when nothing failed
    int error = 0;                // errno; 0 when the failure was no system call's
    std::string path;             // empty when the failure concerns no path

    // The operation failed (its code is not ERR_SUCCESS).
    [[nodiscard]] bool Failed() const { return code != ERR_SUCCESS; }
    // Nothing was recorded at all: no code, no errno, no path.
    [[nodiscard]] bool Empty() const { return code == ERR_SUCCESS && error == 0 && path.empty(); }
};

// The value of an operation that succeeded.
inline Failure Succeeded() { return Failure{}; }

// A failure with `code`, the errno value `error` (0 for none) and `path`.
inline Failure FailureOf(uint32_t code, int error = 0, std::string path = {}) {
    return Failure{code, error, std::move(path)};
}

}  // namespace vxk5
