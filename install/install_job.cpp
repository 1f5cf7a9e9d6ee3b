#include "install/install_job.h"

#include "install/backup.h"
#include "install/directories.h"
#include "install/extract.h"
#include "install/install_worker.h"
#include "install/path_probe.h"
#include "kit/distribution_kit.h"
#include "lang/messages.h"
#include "platform/file_finder.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"

namespace {

constexpr char16_t kBackupPrefix[] = u"k5stp";

// The target directory immediately followed by the entry's name with every "\"
// turned into "/".
WString DestinationOf(const WString& target, const WString& name) {
    WString relative = name;
    ReplaceAll(relative, WString(u"\\"), WString(u"/"));
    return target + relative;
}

// The path up to its last "/"; the whole path when it holds none.
WString ParentOf(const WString& path) {
    const size_t slash = path.rfind(u'/');
    return slash == WString::npos ? path : path.substr(0, slash);
}

enum class Existing { Missing, UpToDate, Older };

// What stands at the destination: a file that opens is up to date unless its
// modification time (whole seconds) is strictly earlier than the entry's.
Existing ExamineDestination(const WString& destination, const FileTime& entryTime) {
    FileHandle handle = INVALID_FILE_HANDLE;
    if (CreateFileHandle(destination, FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, FILE_ATTR_NORMAL) !=
        ERR_SUCCESS) {
        return Existing::Missing;
    }
    ScopedFileHandle existing(handle);
    FileTime modification;  // a time that cannot be read counts as the earliest
    (void)GetFileHandleTimes(existing.Get(), nullptr, nullptr, &modification);
    return modification < entryTime ? Existing::Older : Existing::UpToDate;
}

// No file or directory of that name, not even a dangling link.
bool NameIsFree(const WString& path) {
    return !FindsEntry(path) && !PathPresent(path);
}

}  // namespace

void PostJobResult(InstallJob& job, uint32_t code, const WString& text, uint32_t percent) {
    if (job.jobState != nullptr) SetJobResult(*job.jobState, code, text, percent);
    if (job.postObserver) job.postObserver(code, text, percent);
}

uint32_t BeginInstall(InstallJob& job, const WString& targetDirectory) {
    job.journal.emplace_back();
    job.journal.back().targetDirectory = targetDirectory;
    if (targetDirectory.empty()) return ERR_SUCCESS;

    WString temporary;
    (void)GetTempDirectory(temporary);
    if (const uint32_t code = EnsureDirectory(job, temporary); code != ERR_SUCCESS) return code;
    WString base = temporary;
    if (!base.EndsWith(u'/')) base += u'/';

    for (int32_t number = 0; number >= 0; ++number) {
        const WString candidate = base + kBackupPrefix + IntToWString(number, 10);
        if (!NameIsFree(candidate)) continue;
        job.journal.back().backupDirectory = candidate + u"/";
        return EnsureDirectory(job, job.journal.back().backupDirectory);
    }
    return ERR_TEMP_NOT_CREATED;
}

void CommitInstall(InstallJob& job) {
    if (job.journal.empty()) return;
    PurgeDirectory(job, job.journal.back().backupDirectory);
}

uint32_t ReportInstallError(InstallJob& job, uint32_t code, uint32_t percent) {
    PostJobResult(job, code, LoadResString("IDS_INSTALL_ERROR"), percent);
    return RollbackInstall(job, code);
}

uint32_t RunInstallJob(InstallJob& job, InstallJobState& state) {
    job.jobState = &state;
    DistributionKit* kit = nullptr;
    WString target;
    GetJobSetup(state, kit, target);

    if (const uint32_t code = BeginInstall(job, target); code != ERR_SUCCESS) {
        return ReportInstallError(job, code, 0);
    }
    if (kit == nullptr) return ReportInstallError(job, ERR_INVALID_PARAMETER, 0);
    const size_t count = kit->entries.size();
    // Without a template directory the names would be taken relative to
    // wherever the process happens to be.
    if (target.empty() && count > 0) return ReportInstallError(job, ERR_PATH_NOT_FOUND, 0);

    for (size_t i = 0; i < count; ++i) {
        const KitFileEntry& entry = kit->entries[i];
        const WString destination = DestinationOf(target, entry.name);
        const uint32_t percent = static_cast<uint32_t>(static_cast<uint64_t>(i) * 100 / count);
        PostJobResult(job, ERR_SUCCESS, destination, percent);

        // Nothing is written outside the template directory.
        if (!IsSafeEntryName(entry.name)) return ReportInstallError(job, ERR_INVALID_DATA, percent);

        const FileTime entryTime{entry.timeLow, entry.timeHigh};
        const Existing existing = ExamineDestination(destination, entryTime);
        if (existing == Existing::UpToDate) {
            ++job.counts.kept;
            continue;
        }
        // A directory where the entry's file belongs is not replaced: the
        // file could not be made there, and moving the directory aside would
        // lose it with the backup tree.
        if (existing == Existing::Older && IsExistingDirectory(destination)) {
            return ReportInstallError(job, ERR_INVALID_PARAMETER, percent);
        }

        const uint32_t moved = BackupFile(job, destination);
        if (moved == 1 || moved > ERR_PATH_NOT_FOUND) return ReportInstallError(job, moved, percent);
        if (moved == ERR_NOT_FOUND || moved == ERR_PATH_NOT_FOUND) RecordNewFile(job, destination);

        if (const uint32_t code = EnsureDirectory(job, ParentOf(destination)); code != ERR_SUCCESS) {
            return ReportInstallError(job, code, percent);
        }
        if (const uint32_t code = ExtractEntry(*kit, i, destination); code != ERR_SUCCESS) {
            return ReportInstallError(job, code, percent);
        }
        ++(moved == ERR_SUCCESS ? job.counts.replaced : job.counts.newFiles);
    }

    CommitInstall(job);
    PostJobResult(job, ERR_SUCCESS, LoadResString("IDS_INSTALL_FINISH"), 100);
    if (job.finalPauseMilliseconds != 0) SleepMilliseconds(job.finalPauseMilliseconds);
    return ERR_SUCCESS;
}
