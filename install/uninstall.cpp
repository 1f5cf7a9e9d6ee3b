#include "install/uninstall.h"

#include <cerrno>
#include <cstdint>

#include "base/conversion.h"
#include "install/kept_generation.h"
#include "install/record_store.h"
#include "install/take_back.h"
#include "platform/directory_open.h"
#include "platform/file_entries.h"
#include "platform/open_file.h"

namespace vxk5 {

namespace {

// Tells the caller's progress as the recorded files are taken back, at most
// once for every 256 of them and at the end.
class Progress {
public:
    Progress(const UninstallOptions& options, size_t files) : options_(options), total_(files) {}
    void Step(size_t done) const {
        if (options_.progress && (done / 256 != done_ / 256 || done == total_) && done != done_) {
            options_.progress(static_cast<uint32_t>(done), static_cast<uint32_t>(total_));
        }
        done_ = done;
    }
    // The files not taken out count as done.
    void Finish() const {
        done_ = total_;
        if (options_.progress) options_.progress(static_cast<uint32_t>(total_), static_cast<uint32_t>(total_));
    }

private:
    const UninstallOptions& options_;
    size_t total_;
    mutable size_t done_ = 0;
};

// Judges every recorded file from `root`, without a change: a dry run's lines.
void DryRun(const InstallationRecord& record, const std::string& base, int root, int keptOriginals,
            const UninstallOptions& options, UninstallResult& result) {
    auto say = [&options](const std::string& line) {
        if (options.dryRunLine) options.dryRunLine(line);
    };
    for (const RecordedFile& file : record.files) {
        std::string parent, name;
        SplitRelative(file.relative, parent, name);
        OwnedDescriptor directory;
        EntryStatus status;
        int error = OpenBelow(root, parent, directory);
        if (error == 0) error = ExamineEntryAt(directory.Get(), name, status).error;
        const Verdict verdict = error == ENOENT ? Verdict::Missing
                                : error != 0    ? Verdict::KeepChanged
                                                : Judge(record, file, status);
        const std::string path = base + file.relative;
        if (verdict == Verdict::Remove) {
            ++result.removed;
            EntryIdentity kept;
            if (OriginalKept(file, keptOriginals, kept)) {
                ++result.restored;
                say("restore " + path);
            } else {
                if (file.replaced) ++result.originalsNotKept;
                say("remove " + path);
            }
        } else if (verdict == Verdict::KeepChanged) {
            result.keptChanged.push_back(path);
            say("keep-changed " + path);
        } else {
            ++result.missing;
        }
    }
    for (auto directory = record.directories.rbegin(); directory != record.directories.rend(); ++directory) {
        ++result.directoriesRemoved;
        say("remove-dir " + base + directory->relative);
    }
}

// The directories the installation made, deepest first, and the template
// directory when the installation made it: each goes after the commit when
// it is empty and still the one made.
uint32_t JournalDirectoriesToRemove(const InstallationRecord& record, Transaction& transaction) {
    for (auto made = record.directories.rbegin(); made != record.directories.rend(); ++made) {
        const EntryIdentity identity{record.targetIdentity.device, made->inode};
        if (const uint32_t code = transaction.RemoveAfterCommit(transaction.Target() + made->relative, identity);
            code != ERR_SUCCESS) {
            return code;
        }
    }
    if (!record.madeTarget) return ERR_SUCCESS;
    const std::string& target = transaction.Target();
    return transaction.RemoveAfterCommit(target.substr(0, target.size() - 1), record.targetIdentity);
}

uint32_t TakeBack(const InstallationRecord& record, const std::string& recordName, const std::string& target,
                  const UninstallOptions& options, Staging kept, Transaction& transaction, UninstallResult& result) {
    TransactionOptions transactionOptions;
    transactionOptions.durability = options.durability;
    transactionOptions.firstWorkingNumber = options.firstWorkingNumber;
    if (const uint32_t code = transaction.Begin(FromMultiByte(target), transactionOptions); code != ERR_SUCCESS) {
        return code;
    }
    result.recovered = transaction.Recovered();
    // Swapped for another directory since it was looked at: not this record's.
    if (transaction.Record().targetIdentity != record.targetIdentity) return transaction.Fail(target, ESTALE);
    result.target = transaction.Target();
    // A dead uninstall of this very record, finished by that recovery, took
    // it back already: nothing is left for this one to take back.
    InstallationRecord latest;
    std::string latestName;
    if (!result.recovered.empty() &&
        (ReadLatestRecordSummary(record.targetIdentity, latest, latestName) != 0 || latestName != recordName)) {
        (void)transaction.Rollback(ERR_SUCCESS);  // nothing was changed
        return ERR_SUCCESS;
    }
    // Every directory that holds its files lets this process remove them,
    // so that what the commit record promises can be done.
    OwnedDescriptor root;
    if (const int error = OpenNamedDirectory(result.target, DirectoryAccess::LookUp, root); error != 0) {
        return transaction.Fail(target, error);
    }
    if (const uint32_t code = CheckTakeBack(record, root.Get(), transaction.FirstFailure()); code != ERR_SUCCESS) {
        return code;
    }
    // The originals it replaced, when kept, come back after the commit.
    if (kept.originals.IsOpen()) {
        if (const uint32_t code = transaction.UseKeptOriginals(std::move(kept)); code != ERR_SUCCESS) return code;
    }
    const Progress progress(options, record.files.size());
    if (const uint32_t code = transaction.TakeBackAfterCommit(
            record, recordName, [&progress](size_t done, size_t) { progress.Step(done); });
        code != ERR_SUCCESS) {
        return code;
    }
    if (const uint32_t code = JournalDirectoriesToRemove(record, transaction); code != ERR_SUCCESS) return code;
    if (const uint32_t code = transaction.Commit(); code != ERR_SUCCESS) return code;
    const TakenBack& taken = transaction.TakenBackAtCommit();
    result.removed = taken.removed;
    result.restored = taken.restored;
    result.missing = taken.missing;
    result.originalsNotKept = taken.originalsNotKept;
    result.keptChanged = taken.keptChanged;
    result.directoriesRemoved = transaction.RemovedAtCommit().removed;
    result.templateRemoved = transaction.RemovedAtCommit().target;
    progress.Finish();
    return ERR_SUCCESS;
}

}  // namespace

UninstallResult RunUninstall(const UninstallOptions& options) {
    UninstallResult result;
    std::string target = ToMultiByteString(options.directory);
    if (target.empty() || target[0] != '/') {
        result.code = ERR_INVALID_PARAMETER;
        result.failure = FailureOf(result.code, EINVAL, target);
        return result;
    }
    if (target.back() != '/') target += '/';
    result.target = target;
    OwnedDescriptor root;
    EntryIdentity identity;
    InstallationRecord record;
    std::string name;
    int error = OpenNamedDirectory(target, DirectoryAccess::LookUp, root);
    if (error == 0) error = IdentityOf(root.Get(), identity).error;
    if (error == 0) error = ReadLatestRecord(identity, record, name);
    if (error == ENOENT || error == ENOTDIR) {
        result.outcome = UninstallOutcome::NothingToUninstall;
        return result;
    }
    if (error != 0) {
        result.recordError = error == EPERM || error == EINVAL ? error : 0;
        result.code = error == EINVAL ? ERR_INVALID_DATA : ERR_INVALID_PARAMETER;
        result.failure = FailureFromErrno(error, target);
        return result;
    }
    result.installedAt = record.when;
    // The originals it replaced, kept by the commit; gone or not one to trust, none are.
    Staging kept;
    if (record.kept != EntryIdentity() && OpenKeptGeneration(result.target, record.kept, kept) != 0) kept = Staging();
    if (options.dryRun) {
        DryRun(record, target, root.Get(), kept.originals.IsOpen() ? kept.originals.Get() : -1, options, result);
        result.outcome = UninstallOutcome::Uninstalled;
        return result;
    }
    Transaction transaction;
    if (const uint32_t code = TakeBack(record, name, target, options, std::move(kept), transaction, result);
        code != ERR_SUCCESS) {
        result.failure = transaction.FirstFailure();
        result.code = transaction.Rollback(code);
        result.removed = 0;
        result.restored = 0;
        return result;
    }
    // Taken back in part: what failed stays, with the record, for another uninstall to finish.
    if (const Failure& failed = transaction.TakenBackAtCommit().failure; !failed.Empty()) {
        result.inPart = true;
        result.failure = failed;
        result.code = CodeFromErrno(failed.error);
        return result;
    }
    result.outcome = UninstallOutcome::Uninstalled;
    return result;
}

}  // namespace vxk5
