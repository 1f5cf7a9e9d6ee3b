#pragma once
// The one undo of a transaction's steps, played by the live rollback from the
// steps it kept and by the recovery from a dead transaction's journal; and
// the commit's purge of the originals that new files replaced.

#include <string>
#include <vector>

#include "install/journal_format.h"
#include "install/step_log.h"

namespace vxk5 {

// What a working file without a recorded identity is. The live rollback
// knows every file its transaction made (NotOurs: anything else there is
// someone else's); the recovery of a dead transaction's journal knows only
// what reached the disk, and a working name holds a number drawn at random
// for each transaction, so that a file standing at one is the dead
// transaction's own (Ours).
enum class Unrecorded { NotOurs, Ours };

struct UndoOutcome {
    bool originalsRestored = true;  // every moved original is back
    // The destinations whose original could not be put back; for an original
    // exchanged with its new file, where it stands (its working name).
    std::vector<std::string> notRestored;
    std::string failedPath;  // the first path that could not be undone
    int error = 0;
};

// Plays back the steps below the template directory `target`, newest first.
// `root` is the template directory's descriptor (whose identity the caller
// has checked) and `originals` the staging directory's originals/ (-1 when
// there is none); every path is reached from them one component at a time
// without following a link (a link planted in a parent since is left alone
// and reported). An entry is removed only when its identity is the one
// journalled for it (a written file, a made directory, which must also be
// empty); a file about to be written whose identity is not recorded is
// removed only under its working name, and only as `unrecorded` says. An original goes back only into an empty place or
// over the transaction's own file; anything else standing there is left
// alone and the original stays in the staging directory (or, exchanged with
// its new file, under that file's working name). Repeating it after a
// partial run is harmless, which is what the recovery relies on.
UndoOutcome UndoSteps(const std::vector<JournalStep>& steps, const std::string& target, int root, int originals,
                      Unrecorded unrecorded);

// Removes the directories made on the way to (and including) the template
// directory: those of `steps` that are not below `target`, deepest first,
// each only when empty and, when identified, of the journalled identity.
void UndoDirectoriesAbove(const std::vector<JournalStep>& steps, const std::string& target);

// After the commit of an uninstall: the directories it named (Z records),
// each when it is empty and still the one named, in their order; the
// template directory itself only `withTarget` (not while the staging
// directory is inside it). Each removal is synced into its parent.
struct DirectoriesRemoved {
    uint32_t removed = 0;  // below the template directory
    bool target = false;   // the template directory itself
};
DirectoriesRemoved RemoveDirectoriesAfterCommit(const std::vector<DirectoryToRemove>& directories,
                                                const std::string& target, int root, bool withTarget);

// The commit's purge: removes each original that was exchanged with its new
// file and waits under that file's working name, on two threads, and with
// `syncDirectories` syncs each directory it removed one from. Best effort:
// the commit record stands already. How many it removed.
size_t PurgeExchangedOriginals(const StepLog& steps, const std::string& target, int root, bool syncDirectories);

// The same for a committed journal whose purge did not finish: only where
// one of the transaction's files (by a journalled identity: a later entry
// of the same name replaced the first's) stands at the destination. Each
// removal is synced into its directory.
void PurgeExchangedOriginals(const std::vector<JournalStep>& steps, const std::string& target, int root);

// The same, where the commit was keeping the originals: each goes to
// `originals` (the staging directory's originals/, below its path there)
// instead, the first of a name the kit repeats; failing that, it is
// removed. Each directory it leaves is synced.
void GatherExchangedOriginals(const std::vector<JournalStep>& steps, const std::string& target, int root,
                              int originals);

}  // namespace vxk5
