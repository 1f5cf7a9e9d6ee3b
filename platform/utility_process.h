#pragma once
// Starts a standard utility with an argument vector (no shell: every argument
// reaches it as one literal word) and waits for it.

#include <vector>

#include "base/wstring.h"

namespace vxk5 {

enum class ErrorOutput { Keep, Discard };

constexpr int kUtilityNotStarted = -1;

// Runs arguments[0], found on PATH, with its standard input from the caller,
// standard output to /dev/null and standard error kept or discarded. Returns
// the exit status (0..255; 128 + n when signal n ended it, as a shell reports
// it) or kUtilityNotStarted when no process could be started.
[[nodiscard]] int RunUtility(const std::vector<AString>& arguments, ErrorOutput errorOutput);

// Starts arguments[0], found on PATH, detached: in a session of its own, with
// standard input, output and error on /dev/null, and does not wait for it.
// Returns its process id, which the caller must reap (waitpid, or a main
// loop's child watch), or -1 when no process could be started.
[[nodiscard]] int StartDetachedUtility(const std::vector<AString>& arguments);

}  // namespace vxk5
