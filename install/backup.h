#pragma once
// The journal's file side: setting originals aside in the staging directory
// and playing the journal back.

#include <cstdint>
#include <string>
#include <vector>

#include "install/install_job.h"

namespace vxk5 {

// Moves the original `name` in `directory` (the destination `destination`,
// a byte path below the record's target, already journalled) into its place
// in the staging directory's originals/ with one renameat: nothing about the
// file changes. The originals/ subdirectories are made (mode 0700) only
// here, once per job. ERR_SUCCESS, or a code with the failure detail set; the original
// is then where it was.
[[nodiscard]] uint32_t MoveOriginalToBackup(InstallJob& job, const std::string& destination, int directory,
                                            const std::string& name);

struct UndoOutcome {
    bool originalsRestored = true;        // every moved original is back
    // The destinations whose original could not be put back; for an original
    // exchanged with its new file, where it stands (its temporary name).
    std::vector<std::string> notRestored;
    std::string failedPath;               // the first path that could not be undone
    int error = 0;
};

// Plays back the steps below the template directory, newest first. `root` is
// the template directory's descriptor (whose identity the caller has
// checked) and `originals` the staging directory's originals/ (-1 when there
// is none); every path is reached from them one component at a time without
// following a link (a link planted in a parent since is left alone and
// reported). An entry is removed only when its identity is the one the job
// journalled for it (a written file, a made directory, which must also be
// empty); a file the job was about to write but had not yet identified is
// removed only under its temporary name. An original goes back only into an
// empty place or over the job's own file; anything else standing there is
// left alone and the original stays in the staging directory (or, exchanged
// with its new file, under that file's temporary name). Repeating it
// after a partial run is harmless, which is what the recovery relies on.
UndoOutcome UndoSteps(const std::vector<JournalStep>& steps, const std::string& target, int root, int originals);

// The commit's purge: removes each original that was exchanged with its new
// file and waits under that file's temporary name, on two threads. Best
// effort: the commit record stands already.
void PurgeExchangedOriginals(const StepLog& steps, const std::string& target, int root);

// After the commit: removes each original that was exchanged with its new
// file and waits under that file's temporary name, where the job's file
// (by its journalled identity) still stands at the destination. For a
// committed journal whose purge did not finish.
void PurgeExchangedOriginals(const std::vector<JournalStep>& steps, const std::string& target, int root);

// Removes the directories the job made on the way to (and including) the
// template directory: those of `steps` that are not below `target`, deepest
// first, each only when empty and, when identified, of the journalled identity.
void UndoDirectoriesAbove(const std::vector<JournalStep>& steps, const std::string& target);

// Undoes the last record. When every original is back the staging directory
// and its registry entry are removed; otherwise both are kept (backupKept,
// notRestored) and the failure detail names what could not be restored.
// Returns `code`.
[[nodiscard]] uint32_t RollbackInstall(InstallJob& job, uint32_t code);

}  // namespace vxk5
