#pragma once
// The journal's file side: moving replaced files into the backup tree, listing
// new files, and playing the journal back.

#include <cstdint>

#include "base/wstring.h"
#include "install/install_job.h"

// Moves an existing destination to its place in the backup tree (the backup
// directory followed by the destination relative to the target directory),
// making the backup subdirectory first, even when there is nothing to move.
// 0 moved; 2 or 3 nothing was moved; any other code is a failure.
[[nodiscard]] uint32_t BackupFile(InstallJob& job, const WString& destination);

// Appends `path` to the last record's new files.
void RecordNewFile(InstallJob& job, const WString& path);

// Moves every file of the backup tree back to the same place under `target`.
// Individual failures are passed over.
void RestoreBackup(InstallJob& job, const WString& target, const WString& backup);

// Undoes the last record: restores the backup, purges the backup directory,
// purges the created directories and removes the new files, in that order.
// Returns `code`.
uint32_t RollbackInstall(InstallJob& job, uint32_t code);
