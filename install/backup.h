#pragma once
// The journal's file side: moving replaced files into the backup tree, listing
// new files, and playing the journal back.

#include <cstdint>
#include <string>
#include <vector>

#include "base/wstring.h"
#include "install/install_job.h"

namespace vxk5 {

// The journal file and the staging name of a backup directory "…/k5stp<N>/":
// "…/k5stp<N>.journal" and "…/k5stp<N>.partial" (where a copy across file
// systems is assembled before it takes its place in the backup tree).
std::string JournalPathOf(const std::string& backup);
std::string StagingPathOf(const std::string& backup);

// Moves the original at `destination` (byte path below the record's target)
// into its place in the backup tree, journalled first: one rename, or across
// file systems a whole copy (bytes, permission bits, times, a link as a link)
// put in place before the original goes. Backup subdirectories are made
// (mode 0700) only here, once per job. 0, or a code with the failure detail
// set; the original is then where it was.
// `directory` is the destination's directory, opened by the job without
// following links, and `name` the destination's last component; with
// AT_FDCWD and an empty name the path itself is used.
[[nodiscard]] uint32_t MoveOriginalToBackup(InstallJob& job, const std::string& destination, int directory,
                                            const std::string& name);

// The same for a WString path: 0 moved; 2 nothing there (lstat finds
// nothing); any other code is a failure.
[[nodiscard]] uint32_t BackupFile(InstallJob& job, const WString& destination);

// Appends `path` to the last record's new files.
void RecordNewFile(InstallJob& job, const WString& path);

// Moves every entry of the backup tree back to the same place under `target`
// (a file the job wrote there is replaced). The tree is walked with lstat, so
// no entry (a dangling link, an unreadable file) stops it. True when every
// entry went back.
bool RestoreBackup(InstallJob& job, const WString& target, const WString& backup);

struct UndoOutcome {
    bool originalsRestored = true;  // every moved original is back
    std::string failedPath;         // the first path that could not be undone
    int error = 0;
};

// Below the template directory every step's path is reached from `target`
// without following a link (a link planted in a parent since is left alone
// and reported); paths of the template directory and above it are used as
// they stand. Plays the steps back, newest first: a written file is removed; for a moved
// original whose backup exists, what stands at its place is removed and the
// original put back (renamed, or copied across file systems); a made
// directory is removed when empty. Repeating it after a partial run is
// harmless, which is what the recovery at the next start relies on.
UndoOutcome UndoSteps(const std::vector<JournalStep>& steps, const std::string& target, const std::string& backup);

// Deletes the backup tree, its staging name and the journal file. 0 or the
// first errno.
int DiscardBackup(const std::string& backup);

// Undoes the last record. When every original is back the backup directory
// and the journal file are removed; otherwise both are kept (backupKept) and
// the failure detail names what could not be restored. Returns `code`.
uint32_t RollbackInstall(InstallJob& job, uint32_t code);

}  // namespace vxk5
