#pragma once
// The installation as a process of its own, as the installer runs it: the
// kit unpacked and read (its file table first), the installation job into
// the template directory, and the process's exit with the release of what
// it held. The one thing left out is the program's 1 s pause after copying,
// which the job is told to skip. A benchmark starts its own program with
// `--install KIT DIR/` and times it from spawn to exit, like tar's.

namespace vxk5 {

// The child's side of `--install KIT DIR/ [--one-thread]`: with `oneThread`
// the job's own thread alone writes and places the files. 0 on success;
// prints "<seconds to the job's final post> <VmHWM KiB>" on standard output.
int InstallChild(const char* kitPath, const char* target, bool oneThread);

// Whether `argv` asks for the child (and then runs it into `status`).
bool RunInstallChildIfAsked(int argc, char** argv, int& status);

}  // namespace vxk5
