#pragma once

namespace vxk5 {

// The file-system commands answer from direct system calls where those give
// the same result as the utility (an existing directory, a missing source, a
// rename within one file system, ...). Tests switch this off to drive every
// command through its utility.

void SetCommandFastPaths(bool enabled);
bool CommandFastPathsEnabled();

}  // namespace vxk5
