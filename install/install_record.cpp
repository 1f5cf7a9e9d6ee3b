#include "install/install_record.h"

#include <algorithm>
#include <ctime>

#include "install/kept_generation.h"
#include "install/record_store.h"
#include "platform/file_handle.h"

namespace vxk5 {

void OpenInstallRecord(CopyRun& run) {
    if (!run.job.keepRecord) return;
    const JournalRecord& journal = run.transaction.Record();
    InstallationRecord header;
    header.target = journal.target;
    header.targetIdentity = journal.targetIdentity;
    const std::string itself = journal.target.substr(0, journal.target.size() - 1);
    header.madeTarget = std::find(journal.madeAbove.begin(), journal.madeAbove.end(), itself) != journal.madeAbove.end();
    header.kitPath = run.job.kitPath;
    header.kitSize = run.job.kitSize;
    header.kitCheck = run.job.kitCheck.empty() ? "-" : run.job.kitCheck;
    header.transaction = run.transaction.StagingIdentity();
    run.record.Open(header);
    // The originals this installation replaces are kept in place of those
    // the latest one kept (its record names them).
    InstallationRecord latest;
    std::string name;
    if (ReadLatestRecordSummary(journal.targetIdentity, latest, name) != 0) latest = InstallationRecord();
    run.transaction.KeepOriginalsAtCommit(latest.kept);
}

void RecordPlaced(CopyRun& run, const PendingFile& pending) {
    if (!run.record.IsOpen()) return;
    const KitFileEntry& entry = run.kit.Entries()[pending.index];
    RecordedFile file;
    file.relative = pending.path.substr(run.transaction.Target().size());
    file.inode = pending.identity.inode;
    file.size = entry.size;
    file.modified = FileTimeToUnixTime(FileTime{entry.timeLow, entry.timeHigh});
    file.replaced = pending.decision == Decision::Replace;
    run.record.AddFile(file);
}

void FinishInstallRecord(CopyRun& run) {
    if (!run.record.IsOpen()) return;
    // An installation that placed nothing has nothing to take back.
    if (!run.record.Placed()) {
        run.transaction.KeepNoOriginals();
        return run.record.Abandon();
    }
    for (const auto& [relative, inode] : run.transaction.MadeDirectories()) {
        run.record.AddDirectory(RecordedDirectory{relative, inode});
    }
    // The staging directory becomes the kept one at the commit.
    if (run.transaction.KeepsOriginals()) run.record.AddKept(run.transaction.StagingIdentity());
    run.job.recordError = run.record.Finish(static_cast<int64_t>(std::time(nullptr)));
    run.job.recordWritten = run.job.recordError == 0;
    // Without a record nothing could bring them back.
    if (!run.job.recordWritten) run.transaction.KeepNoOriginals();
}

void SettleInstallRecord(CopyRun& run, bool committed) {
    if (!run.job.recordWritten) return;
    if (!committed) {
        run.record.Withdraw();
        run.job.recordWritten = false;
        return;
    }
    run.record.Prune();
    run.job.keptBytes = run.transaction.Generation().bytes;
}

}  // namespace vxk5
