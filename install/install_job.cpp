#include "install/install_job.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "base/conversion.h"
#include "base/two_threads.h"
#include "install/backup.h"
#include "install/directories.h"
#include "install/entry_lookahead.h"
#include "install/extract.h"
#include "install/install_worker.h"
#include "install/recovery.h"
#include "install/replace_rule.h"
#include "kit/distribution_kit.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "lang/messages.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/mounted_file_system.h"
#include "platform/open_file.h"
#include "platform/path_limit.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

// Times the template directory is locked again because it was replaced
// while this job waited for it.
constexpr int kLockAttempts = 100;
// Descriptors held back for the rollback: the walk down to a directory and
// to an original's place in the staging directory, two levels each.
constexpr size_t kReservedDescriptors = 4;

// The target directory immediately followed by the entry's name with every "\"
// turned into "/".
WString DestinationOf(const WString& target, const WString& name) {
    WString relative = name;
    ReplaceAll(relative, WString(u"\\"), WString(u"/"));
    return target + relative;
}

enum class Decision { Skip, WriteNew, Replace, Rewrite };

// What to do about what stands at `name` inside `directory` (-1 when the
// destination's directory does not exist yet), from one fstatat.
// A look the lookahead took in that same directory (`identity`) stands for
// the fstatat.
[[nodiscard]] uint32_t Decide(InstallJob& job, int directory, const EntryIdentity& identity,
                              const EntryLookahead::Look* look, const std::string& name,
                              const std::string& destination, const FileTime& kitTime, Decision& decision) {
    EntryStatus standing;
    if (directory >= 0) {
        int error = 0;
        if (look != nullptr && look->examined && look->directory == identity) {
            error = look->error;
            standing = look->status;
        } else {
            error = ExamineEntryAt(directory, name, standing).error;
        }
        if (error != 0) return RecordFailure(job, destination, error);
    }
    const ReplaceVerdict verdict = DecideReplacement(standing, kitTime);
    switch (verdict) {
        case ReplaceVerdict::WriteNew:
            decision = Decision::WriteNew;
            return ERR_SUCCESS;
        case ReplaceVerdict::Keep:
            decision = Decision::Skip;
            return ERR_SUCCESS;
        case ReplaceVerdict::Replace:
            // Written by this job for an earlier entry of the same name, or an original.
            decision = job.placed.count(destination) != 0 ? Decision::Rewrite : Decision::Replace;
            return ERR_SUCCESS;
        case ReplaceVerdict::RefuseDirectory:
            // Whatever its time: the file cannot go there, and a directory is
            // never moved aside (nor, like a FIFO or a device, ever opened).
            return RecordFailure(job, destination, EISDIR);
        case ReplaceVerdict::RefuseOther:
            return RecordFailure(job, destination, EEXIST);
    }
    return RecordFailure(job, destination, EINVAL);
}

// One entry of a batch: planned and journalled first, then carried out.
struct Pending {
    size_t index = 0;
    uint32_t percent = 0;
    std::string path;    // absolute
    std::string parent;  // relative to the template directory, "" for itself
    std::string name;
    Decision decision = Decision::Skip;
    std::string temporary;
    size_t writeStep = 0;  // the record of its W step
    EntryIdentity identity;
    int directory = -1;  // its directory, held open while its run is written or placed
};

// The starts of the groups of the entries [from, to) of a batch, and `to`:
// consecutive entries of one directory, at most kGroupSize of them. Two
// threads take whole groups, so that they seldom work in the same directory,
// whose lock every creation and rename in it takes.
constexpr size_t kGroupSize = 128;
std::vector<size_t> GroupsOf(const std::vector<Pending>& batch, size_t from, size_t to) {
    std::vector<size_t> starts;
    for (size_t k = from; k < to; ++k) {
        if (starts.empty() || k - starts.back() >= kGroupSize || batch[k].parent != batch[k - 1].parent) {
            starts.push_back(k);
        }
    }
    starts.push_back(to);
    return starts;
}

// Runs lead() and then work(k, buffer) over the entries of `groups` (as
// GroupsOf gives them) in order on this thread with the kit's buffer (null);
// or, for a run of at least `parallelFrom` entries in more than one group,
// shares the groups with a second thread, which copies through `buffer`
// (made when first needed; without it, this thread does all). lead() or a
// work returning false stops the taking of further entries.
template <typename Lead, typename Work>
void OnTwoThreads(const std::vector<size_t>& groups, size_t parallelFrom, std::unique_ptr<uint8_t[]>& buffer,
                  Lead lead, Work work) {
    const size_t count = groups.back() - groups.front();
    const bool share = count >= std::max<size_t>(parallelFrom, 2) && groups.size() > 2;
    if (share && !buffer) buffer.reset(new (std::nothrow) uint8_t[kKitCopyBufferSize]);
    if (!share || !buffer) {
        if (!lead()) return;
        for (size_t k = groups.front(); k < groups.back(); ++k) {
            if (!work(k, nullptr)) return;
        }
        return;
    }
    uint8_t* const second = buffer.get();
    ShareOverTwoThreads(0, groups.size() - 1, lead, [&work, &groups, second](size_t group, bool other) {
        for (size_t k = groups[group]; k < groups[group + 1]; ++k) {
            if (!work(k, other ? second : nullptr)) return false;
        }
        return true;
    });
}

std::string JournalPath(const InstallJob& job) { return job.staging.path + kJournalName; }

// The destinations (absolute) that more than one entry names, from the hash
// of each entry's relative path: entries of equal hash are compared by their
// paths, so a collision costs a comparison and nothing else.
std::unordered_set<std::string> RepeatedDestinations(const DistributionKit& kit,
                                                     std::vector<std::pair<uint64_t, size_t>> hashes,
                                                     const std::string& root) {
    std::unordered_set<std::string> repeated;
    std::sort(hashes.begin(), hashes.end());
    for (size_t first = 0; first < hashes.size();) {
        size_t end = first + 1;
        while (end < hashes.size() && hashes[end].first == hashes[first].first) ++end;
        if (end - first > 1) {
            std::unordered_set<std::string> seen;
            for (size_t k = first; k < end; ++k) {
                AString relative;
                if (!EntryNamePath(kit.Entries()[hashes[k].second].name, relative)) continue;
                std::string path = root + std::string(relative.c_str(), relative.length());
                if (!seen.insert(path).second) repeated.insert(std::move(path));
            }
        }
        first = end;
    }
    return repeated;
}

}  // namespace

void PostJobResult(InstallJob& job, uint32_t code, const WString& text, uint32_t percent) {
    if (job.jobState != nullptr) SetJobResult(*job.jobState, code, text, percent);
    if (job.postObserver) job.postObserver(code, text, percent);
}

uint32_t RecordFailure(InstallJob& job, const std::string& path, int error) {
    if (job.failure.Empty()) job.failure = FailureFromErrno(error, path);
    return CodeFromErrno(error);
}

uint32_t WriteAhead(InstallJob& job, const std::string& line) {
    if (!job.journalFile.IsOpen()) return ERR_SUCCESS;
    if (const int error = InjectedFault(FaultStep::JournalWrite, JournalPath(job)); error != 0) {
        return RecordFailure(job, JournalPath(job), error);
    }
    job.journalPending += line;
    return ERR_SUCCESS;
}

uint32_t SyncJournal(InstallJob& job) {
    if (!job.journalFile.IsOpen()) return ERR_SUCCESS;
    // The records gathered since the last sync go in one write: a record cut
    // short by the process's death is ignored, and one cut short by a full
    // disk is taken back, with the rest of the write.
    int error = 0;
    if (!job.journalPending.empty()) {
        error = InjectedFault(FaultStep::JournalWrite, JournalPath(job));
        if (error == 0) error = job.journalFile.Append(job.journalPending);
    }
    job.journalPending.clear();
    if (error == 0) error = job.journalFile.Sync();
    return error == 0 ? ERR_SUCCESS : RecordFailure(job, JournalPath(job), error);
}

uint32_t LockTemplateDirectory(InstallJob& job) {
    if (job.journal.empty() || job.journal.back().target.empty()) return ERR_SUCCESS;
    JournalRecord& record = job.journal.back();
    const std::string given = record.target;
    bool told = false;
    bool locked = false;
    for (int attempt = 0; attempt < kLockAttempts && !locked; ++attempt) {
        if (const uint32_t code = MakeTemplateDirectory(job, given); code != 0) return code;
        if (const int error = job.targetLock.Open(given); error != 0) return RecordFailure(job, given, error);
        if (!job.targetLock.TryLock()) {
            if (!told) {
                // The progress stays where it is; the text says why.
                if (job.jobState != nullptr) SetJobWaiting(*job.jobState, true);
                PostJobResult(job, ERR_SUCCESS, LoadResString("IDS_WAITING_INSTALL"), 0);
                told = true;
            }
            if (const int error = job.targetLock.Wait(); error != 0) return RecordFailure(job, given, error);
        }
        // The other installer may have removed the directory in its rollback
        // (and someone made it anew): the lock must be on the directory that
        // the path names now.
        locked = job.targetLock.StillNamedBy(given);
        if (!locked) job.targetLock.Release();
    }
    if (told && job.jobState != nullptr) SetJobWaiting(*job.jobState, false);
    if (!locked) return RecordFailure(job, given, EAGAIN);
    // From here the template directory is known by its real path, which the
    // journal keeps: a later recovery reaches it without following a link.
    const std::string real = job.targetLock.RealPath();
    if (real.empty()) return RecordFailure(job, given, ENOENT);
    record.target = real == "/" ? real : real + "/";
    record.steps.SetTarget(record.target);
    if (const int error = IdentityOf(job.targetLock.Descriptor(), record.targetIdentity).error; error != 0) {
        return RecordFailure(job, given, error);
    }
    // The directories made above: the last components of the given path are
    // the last components of the real one (none of them is a link, the job
    // has just made them).
    std::vector<std::string> madeReal;
    std::string trimmed = given;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    for (const std::string& made : record.madeAbove) {
        const size_t below = trimmed.size() - made.size();  // bytes of the given path below `made`
        madeReal.push_back(real.substr(0, real.size() >= below ? real.size() - below : 0));
    }
    record.madeAbove = madeReal;
    return ERR_SUCCESS;
}

uint32_t BeginInstall(InstallJob& job, const WString& targetDirectory) {
    job.journal.emplace_back();
    JournalRecord& record = job.journal.back();
    if (targetDirectory.empty()) return ERR_SUCCESS;
    // A relative path would mean another directory to a later start made
    // elsewhere, and the entries' paths are the directory's followed by
    // their names: the caller gives the one form that means one directory.
    if (!IsInstallTarget(targetDirectory)) return RecordFailure(job, ToMultiByteString(targetDirectory), EINVAL);
    record.target = ToMultiByteString(targetDirectory);

    if (const uint32_t code = LockTemplateDirectory(job); code != ERR_SUCCESS) return code;
    const int targetFd = job.targetLock.Descriptor();

    // An installer that died here before (or that this one waited for) is
    // finished first: nothing is built on its half-done work.
    for (const RecoveryReport& report : RecoverBesideAndInside(targetFd, record.target)) {
        if (report.outcome == RecoveryReport::Outcome::BackupKept ||
            report.outcome == RecoveryReport::Outcome::Unreadable) {
            job.backupKept = report.outcome == RecoveryReport::Outcome::BackupKept;
            job.keptOriginals = ToMultiByteString(report.backupDirectory);
            for (const WString& path : report.notRestored) job.notRestored.push_back(ToMultiByteString(path));
            return RecordFailure(job, ToMultiByteString(report.journalPath), EEXIST);
        }
    }

    // One syncfs before the commit costs a sixth of a sync per file (2,000
    // files of 10 KB on ext4 here: 1.3 s against 7.8 s), but a FUSE file
    // system need not pass a syncfs on to its storage, while every fsync
    // reaches it: there each file is synced.
    if (job.durability == DurabilityMode::SyncFileSystem && OnUserSpaceFileSystem(targetFd)) {
        job.durability = DurabilityMode::SyncEachFile;
    }
    if (const int error = MakeStaging(targetFd, record.target, job.staging); error != 0) {
        return RecordFailure(job, record.target, error);
    }
    // The staging directory is on the template directory's file system.
    if (job.exchangeOriginals) job.exchangeOriginals = ExchangesEntries(job.staging.directory.Get(), "exchange-probe");
    int error = InjectedFault(FaultStep::JournalWrite, JournalPath(job));
    if (error == 0) {
        error = job.journalFile.CreateAt(job.staging.directory.Get(), kJournalName,
                                         JournalHeader(record.target, record.targetIdentity.device,
                                                       record.targetIdentity.inode, job.staging.path));
    }
    // The journal's name survives a power cut before any change relies on it.
    if (error == 0) error = SyncDirectory(job.staging.directory.Get()).error;
    if (error != 0) {
        job.journalFile.Close();
        // Nothing was changed yet: a staging directory left behind holds no
        // original, and the next start removes it.
        (void)DiscardStaging(job.staging);
        return RecordFailure(job, JournalPath(job), error);
    }
    // The directories made before the journal existed, now journalled with
    // their identity, so that a rollback removes them as well.
    for (const std::string& made : record.madeAbove) {
        EntryIdentity identity;
        OwnedDescriptor opened;
        if (OpenDirectoryPath(made, DirectoryAccess::LookUp, opened).Failed() || IdentityOf(opened.Get(), identity).Failed()) continue;
        if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MakeDirectory, made)); code != 0) {
            return code;
        }
        if (const uint32_t code = WriteAhead(
                job, JournalIdentityLine(StepKind::MakeDirectory, identity.device, identity.inode, made));
            code != 0) {
            return code;
        }
        record.steps.Identify(record.steps.Append(StepKind::MakeDirectory, made), identity);
    }
    if (const uint32_t code = SyncJournal(job); code != 0) return code;
    // Found by the next start wherever TMPDIR points then. A home directory
    // that is not this user's to write (no HOME, a read-only one, another
    // user's under sudo) leaves the next installation into this directory to
    // find the staging directory beside or inside it; a registry that fails
    // to be written (a full disk, an I/O error) stops the job before its
    // first change.
    if (const int failed = RegisterStaging(job.staging);
        failed != 0 && failed != EPERM && failed != EACCES && failed != EROFS && failed != ENOENT &&
        failed != ENOTDIR && failed != ELOOP) {
        return RecordFailure(job, ToMultiByteString(GetHomeDirectory()) + "/.vxk5/transactions", failed);
    }
    // Held back for the rollback; given back as it starts.
    for (size_t n = 0; n < kReservedDescriptors; ++n) {
        OwnedDescriptor spare;
        if (const int failed = DuplicatePrivateDescriptor(targetFd, spare); failed != 0) {
            return RecordFailure(job, record.target, failed);
        }
        job.reserved.push_back(std::move(spare));
    }
    return ERR_SUCCESS;
}

uint32_t CommitInstall(InstallJob& job) {
    if (job.journal.empty()) return ERR_SUCCESS;
    if (job.journalFile.IsOpen()) {
        // The new files' bytes and every directory entry of the job (the
        // files' names, the originals set aside) reach the disk before the
        // commit record does: a power cut after the record can then lose
        // nothing that the record promises.
        const std::string& target = job.journal.back().target;
        if (job.durability == DurabilityMode::SyncFileSystem) {
            if (const int error = SyncFileSystemOf(job.targetLock.Descriptor()); error != 0) {
                return RecordFailure(job, target, error);
            }
        } else {
            // The files were synced as they were written; their directories now.
            std::unordered_set<std::string> synced;
            uint32_t failed = ERR_SUCCESS;
            job.journal.back().steps.ForEach([&](StepKind kind, const std::string& path, const std::string&) {
                if ((kind != StepKind::WriteFile && kind != StepKind::ExchangeFile) || failed != ERR_SUCCESS) return;
                const std::string relative = path.substr(target.size());
                const size_t slash = relative.rfind('/');
                const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
                if (!synced.insert(parent).second) return;
                int directory = -1;
                if (const uint32_t code = OpenDestinationDirectory(job, parent, MissingDirectory::Leave, directory); code != 0) {
                    failed = code;
                } else if (directory >= 0) {
                    if (const int error = SyncDirectory(directory).error; error != 0) {
                        failed = RecordFailure(job, target + parent, error);
                    }
                }
            });
            if (failed != ERR_SUCCESS) return failed;
            job.journal.back().steps.ForEach([&target](StepKind kind, const std::string& path, const std::string&) {
                if (kind != StepKind::MakeDirectory || path.size() > target.size()) return;
                OwnedDescriptor made;
                // Best effort: a directory made at or above the template directory
                // holds nothing the user had, so one lost to a power cut loses only
                // this installation's new files, which the next run writes again.
                if (OpenDirectoryPath(path, DirectoryAccess::LookUp, made).error == 0) (void)SyncDirectory(made.Get());
            });
            // Best effort: only the staging directory's own entries, which the
            // recovery finds again whether or not they reached the disk.
            (void)SyncDirectory(job.staging.originals.Get());
            (void)SyncDirectory(job.staging.parent.Get());
        }
        if (const uint32_t code = WriteAhead(job, JournalCommitLine()); code != 0) return code;
        // The commit record is on the disk before anything of the staging
        // directory goes: a cut in the purge finds a committed journal.
        if (const uint32_t code = SyncJournal(job); code != 0) return code;
    }
    // From here the installation stands; what is left is tidying up, which a
    // later start finishes should this process die in it.
    job.reserved.clear();
    PurgeExchangedOriginals(job.journal.back().steps, job.journal.back().target,
                            job.destinations.root.IsOpen() ? job.destinations.root.Get() : job.targetLock.Descriptor());
    job.journalFile.Close();
    // The commit record is on the disk: what the purge leaves is finished by
    // a later start, and no original is lost either way.
    (void)DiscardStaging(job.staging);
    UnregisterStaging(job.staging);
    // The template directory's descriptor shares the lock's open file
    // description: the lock ends only when both are closed.
    job.destinations.Clear();
    job.targetLock.Release();
    return ERR_SUCCESS;
}

uint32_t ReportInstallError(InstallJob& job, uint32_t code, uint32_t percent) {
    WString text = LoadResString("IDS_INSTALL_ERROR");
    // A journal, a staging directory or a file that ran out of room says so.
    if (job.failure.error == ENOSPC || job.failure.error == EDQUOT) text += u"\n" + LoadResString("IDS_ERROR_NOSPACE");
    if (job.kitDamaged) text += u"\n" + LoadResString("IDS_ERROR_DAMAGEDSOURCE");
    PostJobResult(job, code, text, percent);
    // The rollback hands `code` back; what it could not undo is in backupKept.
    (void)RollbackInstall(job, code);
    if (job.backupKept) {
        // Said once more, now that the rollback is over: where the originals
        // are, and which of them could not be put back.
        WString kept = text + u"\n" + LoadResString("IDS_ERROR_BACKUPKEPT") + u" " +
                       FromMultiByte(job.keptOriginals);
        for (const std::string& path : job.notRestored) kept += u"\n" + FromMultiByte(path);
        PostJobResult(job, code, kept, percent);
    }
    return code;
}

namespace {

// Every step of the job: ERR_SUCCESS, or the code that ended it.
[[nodiscard]] uint32_t RunJobSteps(InstallJob& job, InstallJobState& state, DistributionKit* kit) {
    job.jobState = &state;
    WString target;
    GetJobSetup(state, target);

    if (kit == nullptr) {
        job.journal.emplace_back();
        return ReportInstallError(job, ERR_INVALID_PARAMETER, 0);
    }
    const size_t count = kit->Entries().size();
    // Without a template directory the names would be taken relative to
    // wherever the process happens to be.
    if (target.empty() && count > 0) {
        job.journal.emplace_back();
        return ReportInstallError(job, ERR_PATH_NOT_FOUND, 0);
    }
    if (const uint32_t code = BeginInstall(job, target); code != ERR_SUCCESS) {
        return ReportInstallError(job, code, 0);
    }

    // Every name is checked before the first is used: one that does not
    // convert whole, is too long for the file system, or leads outside the
    // template directory stops the job when its turn comes, before anything
    // is written for it; so does a file that another entry needs as its
    // directory.
    const std::string root = job.journal.back().target;  // ends with "/"
    size_t refusedIndex = count;
    if (CheckEntryNames(kit->Entries(), refusedIndex, root.size()) == ENTRY_NAME_OK) refusedIndex = count;
    // An original is set aside at the same path below the staging
    // directory's originals/: an entry whose path would be too long there is
    // refused now, before the first change.
    if (!root.empty()) {
        const size_t longest = LongestStagingPrefix(root);
        // The hash of each destination, to find those that more than one entry names.
        std::vector<std::pair<uint64_t, size_t>> hashes;
        hashes.reserve(std::min(count, refusedIndex));
        for (size_t i = 0; i < count && i < refusedIndex; ++i) {
            AString relativeBytes;
            if (!EntryNamePath(kit->Entries()[i].name, relativeBytes)) break;
            const std::string_view relative(relativeBytes.c_str(), relativeBytes.length());
            if (longest + relative.size() >= kMaxPathBytes) {
                // The detail; the code is the refusal's.
                (void)RecordFailure(job, root + std::string(relative), ENAMETOOLONG);
                return ReportInstallError(job, ENTRY_NAME_REFUSAL_CODE, 0);
            }
            hashes.emplace_back(std::hash<std::string_view>()(relative), i);
        }
        job.repeated = RepeatedDestinations(*kit, std::move(hashes), root);
    }

    // The kit's own failure: a damaged data area, or a container out of room.
    const auto kitFailed = [&job](uint32_t code, uint32_t percent) {
        job.kitDamaged = code == ERR_INVALID_DATA;
        if (code == ERR_DISK_FULL) job.failure = FailureOf(code, ENOSPC);
        return ReportInstallError(job, code, percent);
    };

    size_t i = 0;
    // The memory the second thread copies through, when the kernel does not copy.
    std::unique_ptr<uint8_t[]> helperBuffer;
    std::vector<Pending> batch;
    std::unordered_set<std::string> batchPaths;
    // The names converted and the destinations looked at ahead of the planning.
    std::unique_ptr<EntryLookahead> ahead;
    if (!root.empty() && count > 1) {
        int rootDirectory = -1;
        if (const uint32_t code = OpenDestinationDirectory(job, std::string(), MissingDirectory::Leave, rootDirectory);
            code != ERR_SUCCESS) {
            return ReportInstallError(job, code, 0);
        }
        ahead = std::make_unique<EntryLookahead>(kit->Entries(), rootDirectory);
    }
    size_t batchSize = std::max<size_t>(job.batchSize, 1);
    for (bool firstBatch = true; i < count; firstBatch = false) {
        if (!firstBatch) batchSize = std::max(batchSize, std::min(batchSize * 2, job.batchSizeLimit));
        batch.clear();
        batchPaths.clear();
        // The identity of the directory an entry's look must have been taken in.
        int identified = -1;
        std::string identifiedParent;
        EntryIdentity identity;
        // Plan and journal a batch of entries.
        for (; i < count && batch.size() < batchSize; ++i) {
            const KitFileEntry& entry = kit->Entries()[i];
            const WString destination = DestinationOf(target, entry.name);
            const uint32_t percent = static_cast<uint32_t>(static_cast<uint64_t>(i) * 100 / count);

            EntryLookahead::Look* const look = ahead != nullptr ? ahead->Take(i) : nullptr;
            // The journal and the failure detail keep the whole path; the file
            // itself is reached by name from its verified directory.
            std::string relative;
            bool named = look != nullptr && look->named;
            if (named) {
                relative = std::move(look->relative);
            } else {
                AString relativeBytes;
                named = EntryNamePath(entry.name, relativeBytes);
                relative.assign(relativeBytes.c_str(), relativeBytes.length());
            }
            if (i == refusedIndex || !named) {
                PostJobResult(job, ERR_SUCCESS, destination, percent);
                (void)RecordFailure(job, ToMultiByteString(destination), 0);  // the detail; the code is the refusal's
                return ReportInstallError(job, ENTRY_NAME_REFUSAL_CODE, percent);
            }
            Pending pending;
            pending.index = i;
            pending.percent = percent;
            pending.path = root + relative;
            // A second entry of the same name waits for the next batch, which
            // sees what the first one wrote.
            if (batchPaths.count(pending.path) != 0) break;
            PostJobResult(job, ERR_SUCCESS, destination, percent);
            const size_t slash = relative.rfind('/');
            pending.parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
            pending.name = slash == std::string::npos ? relative : relative.substr(slash + 1);
            // The staging directory inside the template directory is no place
            // for a template; nor is a name of the form of the job's temporary
            // names, under which its new files are written and the originals
            // they replace wait for the commit.
            const std::string first = relative.substr(0, relative.find('/'));
            if ((job.staging.inside && first == job.staging.name) ||
                (!pending.name.empty() && pending.name[0] == '.' && job.staging.IsTemporaryName(pending.name))) {
                (void)RecordFailure(job, pending.path, EEXIST);  // the detail; the code is the refusal's
                return ReportInstallError(job, ENTRY_NAME_REFUSAL_CODE, percent);
            }
            // A directory this batch is to make is not there yet: nothing to look at.
            int directory = -1;
            if (job.plannedDirectories.count(pending.parent) == 0) {
                if (const uint32_t code = OpenDestinationDirectory(job, pending.parent, MissingDirectory::Leave, directory);
                    code != ERR_SUCCESS) {
                    return ReportInstallError(job, code, percent);
                }
            }
            if (directory >= 0 && (directory != identified || pending.parent != identifiedParent)) {
                if (const int error = IdentityOf(directory, identity).error; error != 0) {
                    return ReportInstallError(job, RecordFailure(job, root + pending.parent, error), percent);
                }
                identified = directory;
                identifiedParent = pending.parent;
            }
            const FileTime entryTime{entry.timeLow, entry.timeHigh};
            // The looks go on while batches change the tree, but only at the
            // paths of their own entries: a destination that an earlier entry
            // names too is looked at now, after that entry's file.
            const bool lookStands = look != nullptr && (job.repeated.empty() || job.repeated.count(pending.path) == 0);
            if (const uint32_t code = Decide(job, directory, identity, lookStands ? look : nullptr, pending.name,
                                             pending.path, entryTime, pending.decision);
                code != ERR_SUCCESS) {
                return ReportInstallError(job, code, percent);
            }
            if (pending.decision == Decision::Skip) {
                ++job.counts.kept;
                continue;
            }
            // The first file to write: a kit read file table first has its
            // data area unpacked from now on, on a thread of its own, while
            // the job plans, sets aside and writes; each file waits for its
            // own bytes only. A run that writes nothing never inflates it. A
            // damaged data area fails the file that needs its bytes, or the
            // job before its commit, and the rollback undoes every change.
            if (const uint32_t code = StartUnpackingRest(*kit); code != 0) return kitFailed(code, percent);
            JournalRecord& record = job.journal.back();
            const bool exchange = pending.decision == Decision::Replace && job.exchangeOriginals;
            if (pending.decision == Decision::Replace && !exchange) {
                if (const uint32_t code = WriteAhead(job, JournalStepLine(StepKind::MoveToBackup, pending.path));
                    code != 0) {
                    return ReportInstallError(job, code, percent);
                }
            }
            if (pending.decision == Decision::WriteNew && directory < 0) {
                if (const uint32_t code = PlanDirectories(job, pending.parent); code != 0) {
                    return ReportInstallError(job, code, percent);
                }
            }
            pending.temporary = job.staging.TemporaryName(job.nextTemporary++);
            if (const uint32_t code = WriteAhead(job, exchange ? JournalExchangeLine(pending.temporary, pending.path)
                                                               : JournalWriteLine(pending.temporary, pending.path));
                code != 0) {
                return ReportInstallError(job, code, percent);
            }
            // The move aside and the write are journalled together, and kept as one step.
            if (exchange) {
                pending.writeStep = record.steps.Append(StepKind::ExchangeFile, pending.path, pending.temporary);
            } else {
                pending.writeStep = pending.decision == Decision::Replace
                                        ? record.steps.AppendReplacement(pending.path, pending.temporary)
                                        : record.steps.Append(StepKind::WriteFile, pending.path, pending.temporary);
            }
            batchPaths.insert(pending.path);
            batch.push_back(std::move(pending));
        }
        if (batch.empty()) continue;
        // The batch's records are on the disk before any change they describe.
        if (const uint32_t code = SyncJournal(job); code != 0) return ReportInstallError(job, code, batch[0].percent);

        // Directories made, originals set aside, new files written under
        // their temporary names, their identities journalled; a run of
        // entries at a time, whose directories are held open meanwhile.
        const bool syncEach = job.durability == DurabilityMode::SyncEachFile;
        std::vector<std::pair<size_t, size_t>> runs;
        for (size_t from = 0; from < batch.size();) {
            HeldDirectories held;
            size_t to = from;
            for (; to < batch.size(); ++to) {
                Pending& pending = batch[to];
                if (held.Full() && !held.Holds(pending.parent)) break;
                int directory = -1;
                if (const uint32_t code = OpenDestinationDirectory(job, pending.parent,
                                                                   pending.decision == Decision::WriteNew
                                                                       ? MissingDirectory::Make
                                                                       : MissingDirectory::Leave,
                                                                   directory);
                    code != ERR_SUCCESS) {
                    return ReportInstallError(job, code, pending.percent);
                }
                if (directory < 0) {
                    return ReportInstallError(job, RecordFailure(job, root + pending.parent, ENOENT), pending.percent);
                }
                int error = 0;
                pending.directory = held.Hold(pending.parent, directory, error);
                // Out of descriptors with some held: the run ends here.
                if (pending.directory < 0 && error == EMFILE && to > from) break;
                if (pending.directory < 0) {
                    return ReportInstallError(job, RecordFailure(job, root + pending.parent, error), pending.percent);
                }
            }
            // The originals are set aside on this thread, in the kit's order,
            // while the other thread starts on the new files; then both write
            // until none is left. What is written meanwhile stands under
            // temporary names, the job's own, which the rollback removes.
            size_t setAsideFailedAt = to;
            uint32_t setAsideCode = 0;
            auto setAside = [&]() {
                for (size_t k = from; k < to; ++k) {
                    Pending& pending = batch[k];
                    uint32_t code = ERR_SUCCESS;
                    if (pending.decision == Decision::Replace && !job.exchangeOriginals) {
                        code = MoveOriginalToBackup(job, pending.path, pending.directory, pending.name);
                    } else if (pending.decision == Decision::Rewrite) {
                        // The job's own earlier file goes; anything else
                        // standing there now is not the job's to remove.
                        EntryIdentity standing;
                        int error = IdentityAt(pending.directory, pending.name, standing).error;
                        if (error == 0 && standing != job.placed[pending.path]) error = EEXIST;
                        if (error == 0) error = RemoveEntryAt(pending.directory, pending.name).error;
                        if (error != 0) code = RecordFailure(job, pending.path, error);
                    }
                    if (code != ERR_SUCCESS) {
                        setAsideFailedAt = k;
                        setAsideCode = code;
                        return false;
                    }
                }
                return true;
            };
            const bool failureWasEmpty = job.failure.Empty();
            std::vector<Failure> failures(to - from);
            OnTwoThreads(GroupsOf(batch, from, to), job.parallelFrom, helperBuffer, setAside, [&](size_t k, uint8_t* buffer) {
                Pending& pending = batch[k];
                failures[k - from] = ExtractEntryAt(*kit, pending.index, pending.directory, pending.temporary,
                                                    pending.path, &pending.identity, syncEach, false, buffer);
                return !failures[k - from].Failed();
            });
            // The first failure in the kit's order is the one reported.
            for (size_t k = from; k < to; ++k) {
                if (k == setAsideFailedAt) return ReportInstallError(job, setAsideCode, batch[k].percent);
                if (Failure& failed = failures[k - from]; failed.Failed()) {
                    const uint32_t code = failed.code;
                    // The data area being unpacked ran short of its bytes, or broke off.
                    if (code == ERR_INVALID_DATA && kit->RestUnpackingStarted()) job.kitDamaged = true;
                    if (failureWasEmpty) job.failure = std::move(failed);
                    return ReportInstallError(job, code, batch[k].percent);
                }
            }
            // The run's files are written, and every entry before them was
            // written or kept: the container's bytes for them are done with.
            if (job.releaseCopiedBytes) kit->ReleaseEntriesBefore(batch[to - 1].index + 1);
            for (size_t k = from; k < to; ++k) {
                Pending& pending = batch[k];
                job.journal.back().steps.Identify(pending.writeStep, pending.identity);
                if (const uint32_t code = WriteAhead(job, JournalIdentityLine(StepKind::WriteFile,
                                                                              pending.identity.device,
                                                                              pending.identity.inode, pending.path));
                    code != 0) {
                    return ReportInstallError(job, code, pending.percent);
                }
            }
            runs.emplace_back(from, to);
            from = to;
        }
        job.plannedDirectories.clear();  // made now
        // The identities are on the disk before the files take their names,
        // so that a rollback after a power cut knows every file as the job's.
        if (const uint32_t code = SyncJournal(job); code != 0) return ReportInstallError(job, code, batch[0].percent);

        // Each new file takes its name, never over anything that appeared
        // there meanwhile; the runs as they were written.
        for (const auto& [from, to] : runs) {
            HeldDirectories held;
            for (size_t k = from; k < to; ++k) {
                Pending& pending = batch[k];
                int directory = -1;
                if (const uint32_t code =
                        OpenDestinationDirectory(job, pending.parent, MissingDirectory::Leave, directory);
                    code != ERR_SUCCESS) {
                    return ReportInstallError(job, code, pending.percent);
                }
                int error = directory < 0 ? ENOENT : 0;
                if (error == 0) pending.directory = held.Hold(pending.parent, directory, error);
                if (pending.directory < 0 && error == 0) error = EMFILE;  // fewer than the run held before
                if (error != 0) return ReportInstallError(job, RecordFailure(job, pending.path, error), pending.percent);
            }
            // A file placed by one thread after the other's failure is the
            // job's by its journalled identity, and the rollback removes it.
            std::vector<int> errors(to - from, 0);
            OnTwoThreads(
                GroupsOf(batch, from, to), job.parallelFrom, helperBuffer, [] { return true; },
                [&](size_t k, uint8_t*) {
                    const Pending& pending = batch[k];
                    int& error = errors[k - from];
                    if (pending.decision == Decision::Replace && job.exchangeOriginals) {
                        // The original takes the temporary name as the new file takes its own.
                        error = InjectedFault(FaultStep::MoveToBackup, pending.path);
                        if (error == 0) error = ExchangeAt(pending.directory, pending.temporary, pending.name).error;
                    } else {
                        error = PlaceWithoutReplacing(pending.directory, pending.temporary, pending.name).error;
                    }
                    return error == 0;
                });
            for (size_t k = from; k < to; ++k) {
                Pending& pending = batch[k];
                if (const int error = errors[k - from]; error != 0) {
                    return ReportInstallError(job, RecordFailure(job, pending.path, error), pending.percent);
                }
                if (job.repeated.count(pending.path) != 0) job.placed[pending.path] = pending.identity;
                if (pending.decision == Decision::Replace) ++job.counts.replaced;
                if (pending.decision == Decision::WriteNew) ++job.counts.newFiles;
            }
        }
    }

    // A data area whose unpacking failed after the last file's bytes is
    // damaged all the same: nothing of it is committed.
    if (kit->RestUnpackingStarted()) {
        if (const uint32_t code = UnpackRest(*kit); code != 0) return kitFailed(code, 100);
    }
    if (const uint32_t code = CommitInstall(job); code != ERR_SUCCESS) return ReportInstallError(job, code, 100);
    PostJobResult(job, ERR_SUCCESS, LoadResString("IDS_INSTALL_FINISH"), 100);
    if (job.finalPauseMilliseconds != 0) SleepMilliseconds(job.finalPauseMilliseconds);
    return ERR_SUCCESS;
}

}  // namespace

Failure RunInstallJob(InstallJob& job, InstallJobState& state, DistributionKit* kit) {
    const uint32_t code = RunJobSteps(job, state, kit);
    if (code == ERR_SUCCESS) return Succeeded();
    return FailureOf(code, job.failure.error, job.failure.path);
}

}  // namespace vxk5
