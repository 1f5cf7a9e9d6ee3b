#include "install/install_job.h"

#include "base/conversion.h"
#include "install/backup.h"
#include "install/directories.h"
#include "install/extract.h"
#include "install/install_worker.h"
#include "kit/distribution_kit.h"
#include "kit/entry_names.h"
#include "lang/messages.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

constexpr char kBackupPrefix[] = "k5stp";
// Names tried for the backup directory before the job gives up.
constexpr int kBackupNameAttempts = 100000;
// Times the template directory is locked again because it was replaced
// while this job waited for it.
constexpr int kLockAttempts = 100;

std::string Bytes(const WString& text) {
    const AString bytes = ToMultiByte(text);
    return std::string(bytes.c_str(), bytes.length());
}

// The target directory immediately followed by the entry's name with every "\"
// turned into "/".
WString DestinationOf(const WString& target, const WString& name) {
    WString relative = name;
    ReplaceAll(relative, WString(u"\\"), WString(u"/"));
    return target + relative;
}

// An absolute form of the template directory: a relative one is taken from
// the current directory now, so that the journal means the same to a later
// start made elsewhere.
WString AbsoluteTarget(const WString& target) {
    if (target.empty() || target[0] == u'/') return target;
    const std::string current = CurrentDirectory();
    if (current.empty()) return target;
    WString absolute = FromMultiByte(AString(current.c_str()));
    if (!absolute.EndsWith(u'/')) absolute += u'/';
    return absolute + target;
}

enum class Decision { Skip, WriteNew, Replace, Rewrite };

// What to do about what stands at `name` inside `directory` (-1 when the
// destination's directory does not exist yet), from one fstatat.
uint32_t Decide(InstallJob& job, int directory, const std::string& name, const std::string& destination,
                const FileTime& kitTime, Decision& decision) {
    // A written copy keeps whole seconds, so the entry's sub-second part
    // cannot make it newer than its own copy: the same kit run again finds
    // every file up to date.
    const FileTime entryTime = WholeSecondOf(kitTime);
    EntryStatus standing;
    if (directory >= 0) {
        if (const int error = ExamineEntryAt(directory, name, standing); error != 0) {
            return NoteFailure(job, destination, error);
        }
    }
    bool older = false;
    switch (standing.kind) {
        case EntryKind::Missing:
            decision = Decision::WriteNew;
            return ERR_SUCCESS;
        case EntryKind::File:
            older = UnixTimeToFileTime(standing.modified) < entryTime;
            break;
        case EntryKind::Link:
            // A link to a file is judged by the file and replaced as a link;
            // a dangling one is no file at all and is replaced.
            if (standing.target == EntryKind::Directory) return NoteFailure(job, destination, EISDIR);
            if (standing.target == EntryKind::Other) return NoteFailure(job, destination, EEXIST);
            older = standing.target == EntryKind::Missing || UnixTimeToFileTime(standing.modified) < entryTime;
            break;
        case EntryKind::Directory:
            // Whatever its time: the file cannot go there, and a directory is
            // never moved aside (nor, like a FIFO or a device, ever opened).
            return NoteFailure(job, destination, EISDIR);
        case EntryKind::Other:
            return NoteFailure(job, destination, EEXIST);
    }
    if (!older) {
        decision = Decision::Skip;
    } else if (job.placed.count(destination) != 0) {
        decision = Decision::Rewrite;  // written by this job for an earlier entry of the same name
    } else {
        decision = Decision::Replace;
    }
    return ERR_SUCCESS;
}

}  // namespace

void PostJobResult(InstallJob& job, uint32_t code, const WString& text, uint32_t percent) {
    if (job.jobState != nullptr) SetJobResult(*job.jobState, code, text, percent);
    if (job.postObserver) job.postObserver(code, text, percent);
}

uint32_t NoteFailure(InstallJob& job, const std::string& path, int error) {
    if (job.failure.path.empty() && job.failure.error == 0) job.failure = InstallFailure{AString(path.c_str()), error};
    return CodeFromErrno(error);
}

uint32_t WriteAhead(InstallJob& job, const std::string& line) {
    if (!job.journalFile.IsOpen()) return ERR_SUCCESS;
    const std::string& backup = job.journal.back().backup;
    int error = InjectedFault(FaultStep::JournalWrite, JournalPathOf(backup));
    if (error == 0) error = job.journalFile.Append(line);
    return error == 0 ? ERR_SUCCESS : NoteFailure(job, JournalPathOf(backup), error);
}

uint32_t BeginInstall(InstallJob& job, const WString& targetDirectory) {
    job.journal.emplace_back();
    JournalRecord& record = job.journal.back();
    record.targetDirectory = targetDirectory;
    if (targetDirectory.empty()) return ERR_SUCCESS;
    record.target = Bytes(AbsoluteTarget(targetDirectory));
    if (record.target.back() != '/') record.target += '/';

    WString temporary;
    (void)GetTempDirectory(temporary);
    std::string base = Bytes(temporary);
    if (base.empty() || base.back() != '/') base += '/';

    // The journal and the backup directory are both made exclusively; any
    // entry of either name (a file, a directory, a link, a dangling link)
    // moves on to the next number. Nothing already there is ever adopted.
    for (int number = 0; number < kBackupNameAttempts; ++number) {
        const std::string backup = base + kBackupPrefix + std::to_string(number);
        const std::string journalPath = backup + ".journal";
        int error = InjectedFault(FaultStep::JournalWrite, journalPath);
        if (error == 0) error = job.journalFile.Create(journalPath, JournalHeader(record.target, backup + "/"));
        if (error == EEXIST) continue;
        if (error != 0) return NoteFailure(job, journalPath, error);
        record.backup = backup + "/";
        error = MakeDirectory(backup, 0700);  // readable by its owner only
        if (error == 0) {
            record.backupDirectory = FromMultiByte(AString(record.backup.c_str()));
            return ERR_SUCCESS;
        }
        job.journalFile.Close();
        (void)RemoveEntry(journalPath);
        record.backup.clear();
        if (error != EEXIST) return NoteFailure(job, backup, error);
    }
    return ERR_TEMP_NOT_CREATED;
}

uint32_t LockTemplateDirectory(InstallJob& job) {
    if (job.journal.empty() || job.journal.back().target.empty()) return ERR_SUCCESS;
    const std::string target = job.journal.back().target;
    bool told = false;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (const uint32_t code = EnsureDirectoryBytes(job, target, WString()); code != 0) {
            return code;
        }
        if (const int error = job.targetLock.Open(target); error != 0) return NoteFailure(job, target, error);
        if (!job.targetLock.TryLock()) {
            if (!told) {
                // The progress stays where it is; the text says why.
                PostJobResult(job, ERR_SUCCESS, LoadResString("IDS_WAITING_INSTALL"), 0);
                told = true;
            }
            if (const int error = job.targetLock.Wait(); error != 0) return NoteFailure(job, target, error);
        }
        // The other installer may have removed the directory in its rollback
        // (and someone made it anew): the lock must be on the directory that
        // the path names now.
        if (job.targetLock.StillNamedBy(target)) return ERR_SUCCESS;
        job.targetLock.Release();
        job.knownDirectories.clear();
        job.destinations.Clear();
    }
    return NoteFailure(job, target, EAGAIN);
}

uint32_t CommitInstall(InstallJob& job) {
    if (job.journal.empty()) return ERR_SUCCESS;
    const JournalRecord& record = job.journal.back();
    if (const uint32_t code = WriteAhead(job, JournalCommitLine()); code != 0) return code;
    // From here the installation stands; what is left is tidying up, which a
    // later start finishes should this process die in it.
    if (!record.backup.empty()) (void)DiscardBackup(record.backup);
    job.journalFile.Close();
    // The template directory's descriptor shares the lock's open file
    // description: the lock ends only when both are closed.
    job.destinations.Clear();
    job.targetLock.Release();
    return ERR_SUCCESS;
}

uint32_t ReportInstallError(InstallJob& job, uint32_t code, uint32_t percent) {
    const WString text = LoadResString("IDS_INSTALL_ERROR");
    PostJobResult(job, code, text, percent);
    RollbackInstall(job, code);
    if (job.backupKept) {
        // Said once more, now that the rollback is over: where the originals are.
        PostJobResult(job, code,
                      text + u"\n" + LoadResString("IDS_ERROR_BACKUPKEPT") + u" " +
                          job.journal.back().backupDirectory,
                      percent);
    }
    return code;
}

uint32_t RunInstallJob(InstallJob& job, InstallJobState& state) {
    job.jobState = &state;
    DistributionKit* kit = nullptr;
    WString target;
    GetJobSetup(state, kit, target);
    target = AbsoluteTarget(target);

    if (const uint32_t code = BeginInstall(job, target); code != ERR_SUCCESS) {
        return ReportInstallError(job, code, 0);
    }
    if (kit == nullptr) return ReportInstallError(job, ERR_INVALID_PARAMETER, 0);
    const size_t count = kit->entries.size();
    // Without a template directory the names would be taken relative to
    // wherever the process happens to be.
    if (target.empty() && count > 0) return ReportInstallError(job, ERR_PATH_NOT_FOUND, 0);
    if (const uint32_t code = LockTemplateDirectory(job); code != ERR_SUCCESS) {
        return ReportInstallError(job, code, 0);
    }

    // Every name is checked before the first is used: one that does not
    // convert whole, is too long for the file system, or leads outside the
    // template directory stops the job when its turn comes, before anything
    // is written for it; so does a file that another entry needs as its
    // directory.
    const std::string& root = job.journal.back().target;  // ends with "/"
    size_t refusedIndex = count;
    if (CheckEntryNames(kit->entries, refusedIndex, root.size()) == ENTRY_NAME_OK) refusedIndex = count;

    for (size_t i = 0; i < count; ++i) {
        const KitFileEntry& entry = kit->entries[i];
        const WString destination = DestinationOf(target, entry.name);
        const uint32_t percent = static_cast<uint32_t>(static_cast<uint64_t>(i) * 100 / count);
        PostJobResult(job, ERR_SUCCESS, destination, percent);

        AString relativeBytes;
        if (i == refusedIndex || !EntryNamePath(entry.name, relativeBytes)) {
            (void)NoteFailure(job, Bytes(destination), 0);
            return ReportInstallError(job, ENTRY_NAME_REFUSAL_CODE, percent);
        }
        // The journal and the failure detail keep the whole path; the file
        // itself is reached by name from its verified directory.
        const std::string relative(relativeBytes.c_str(), relativeBytes.length());
        const std::string path = root + relative;
        const size_t slash = relative.rfind('/');
        const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
        const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
        int directory = -1;
        if (const uint32_t code = OpenDestinationDirectory(job, parent, false, directory); code != ERR_SUCCESS) {
            return ReportInstallError(job, code, percent);
        }
        const FileTime entryTime{entry.timeLow, entry.timeHigh};
        Decision decision = Decision::Skip;
        if (const uint32_t code = Decide(job, directory, name, path, entryTime, decision); code != ERR_SUCCESS) {
            return ReportInstallError(job, code, percent);
        }
        switch (decision) {
            case Decision::Skip:
                ++job.counts.kept;
                continue;
            case Decision::Replace:
                if (const uint32_t code = MoveOriginalToBackup(job, path, directory, name); code != ERR_SUCCESS) {
                    return ReportInstallError(job, code, percent);
                }
                break;
            case Decision::Rewrite:
                // Already journalled: the rollback removes it whatever it holds.
                if (const int error = RemoveEntryAt(directory, name); error != 0) {
                    return ReportInstallError(job, NoteFailure(job, path, error), percent);
                }
                break;
            case Decision::WriteNew: {
                if (directory < 0) {
                    if (const uint32_t code = OpenDestinationDirectory(job, parent, true, directory);
                        code != ERR_SUCCESS) {
                        return ReportInstallError(job, code, percent);
                    }
                }
                if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::WriteFile, path)); code != 0) {
                    return ReportInstallError(job, code, percent);
                }
                job.journal.back().steps.push_back({StepKind::WriteFile, path});
                RecordNewFile(job, destination);
                break;
            }
        }
        job.placed.insert(path);
        int error = 0;
        if (const uint32_t code = ExtractEntry(*kit, i, destination, &error, directory);
            code != ERR_SUCCESS) {
            if (job.failure.path.empty() && job.failure.error == 0) job.failure = InstallFailure{AString(path.c_str()), error};
            return ReportInstallError(job, code, percent);
        }
        if (decision == Decision::Replace) ++job.counts.replaced;
        if (decision == Decision::WriteNew) ++job.counts.newFiles;
    }

    if (const uint32_t code = CommitInstall(job); code != ERR_SUCCESS) return ReportInstallError(job, code, 100);
    PostJobResult(job, ERR_SUCCESS, LoadResString("IDS_INSTALL_FINISH"), 100);
    if (job.finalPauseMilliseconds != 0) SleepMilliseconds(job.finalPauseMilliseconds);
    return ERR_SUCCESS;
}

}  // namespace vxk5
