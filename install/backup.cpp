#include "install/backup.h"

#include "install/directories.h"
#include "install/path_probe.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"

uint32_t BackupFile(InstallJob& job, const WString& destination) {
    if (job.journal.empty() || job.journal.back().backupDirectory.empty()) return ERR_INVALID_PARAMETER;
    const JournalRecord& record = job.journal.back();
    const size_t skip = record.targetDirectory.length();
    const WString place =
        record.backupDirectory + (destination.length() > skip ? destination.substr(skip) : WString());

    const size_t slash = place.rfind(u'/');
    if (slash != WString::npos) {
        // Made even when nothing turns out to be there to move.
        if (const uint32_t code = EnsureDirectoryUnrecorded(place.substr(0, slash)); code != ERR_SUCCESS) return code;
    }
    // The kit named this file before in this run: the original is already in
    // the backup tree and the destination holds only what the job wrote, which
    // is simply written over (the rollback brings the original back).
    if (PathPresent(place)) return ERR_SUCCESS;
    return MovePath(destination, place);
}

void RecordNewFile(InstallJob& job, const WString& path) {
    if (!job.journal.empty()) job.journal.back().newFiles.push_back(path);
}

void RestoreBackup(InstallJob& job, const WString& target, const WString& backup) {
    FileFinder finder;
    InitFinder(finder);
    if (!FindFirstEntry(finder, backup + u"*")) {
        CloseFinder(finder);
        return;
    }
    do {
        const WString name = GetEntryName(finder);
        if (name == u"." || name == u"..") continue;
        if (GetEntryAttributes(finder) == FILE_ATTR_DIRECTORY && IsRealDirectory(backup + name)) {
            RestoreBackup(job, target + name + u"/", backup + name + u"/");
        } else {
            (void)MovePath(backup + name, target + name);  // the restore goes on past a failure
        }
    } while (FindNextEntry(finder));
    CloseFinder(finder);
}

uint32_t RollbackInstall(InstallJob& job, uint32_t code) {
    if (job.journal.empty()) return code;
    const JournalRecord& record = job.journal.back();
    if (!record.targetDirectory.empty() && !record.backupDirectory.empty()) {
        RestoreBackup(job, record.targetDirectory, record.backupDirectory);
    }
    if (!record.backupDirectory.empty()) PurgeDirectory(job, record.backupDirectory);
    for (const WString& directory : record.createdDirectories) PurgeDirectory(job, directory);
    for (const WString& file : record.newFiles) RemoveFile(file);
    return code;
}
