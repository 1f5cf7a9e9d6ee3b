#pragma once
// A seam for tests: every step of an installation that changes a file system
// asks here first whether it should fail (or whether the test wants to stop
// the process at that point). Without a hook each question is one load.

#include <string>

namespace vxk5 {

enum class FaultStep {
    JournalWrite,   // a record gathered for the journal, or the gathered records written to it
    MakeDirectory,  // a directory of the template path or below it
    MoveToBackup,   // an original moved into the staging directory
    CreateFile,     // a new file opened for writing
    Write,          // bytes written to a new file
    SetTimes,       // the entry's time given to a new file
    Close,          // a new file closed
    Remove,         // something the job put in place removed by the rollback
    Restore,        // an original put back by the rollback
    Purge,          // one entry of the staging directory deleted
    TakeBack,       // a change taking an installed file back, after an uninstall's commit
    KitOpened,      // the kit opened for unpacking, not yet read (no path)
};

// Returns an errno value that the step is to fail with, or 0 to let it run.
using FaultHook = int (*)(FaultStep step, const std::string& path, void* context);

// Installs `hook` (null removes it). Not for use while a job runs. The hook
// is called for one question at a time, from whichever thread asks.
void SetFaultHook(FaultHook hook, void* context);

// Whether a hook is installed: where a path costs something to make, it is
// made only then.
bool FaultHookSet();

// 0, or the errno a test wants `step` on `path` to fail with.
[[nodiscard]] int InjectedFault(FaultStep step, const std::string& path);

}  // namespace vxk5
