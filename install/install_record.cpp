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
    run.record.Open(header);
    // The originals this installation replaces are kept in place of those
    // the latest one kept (its record names them).
    InstallationRecord latest;
    std::string name;
    if (ReadLatestRecord(journal.targetIdentity, latest, name) != 0) latest = InstallationRecord();
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
    if (!run.record.Placed()) return run.record.Abandon();
    for (const auto& [relative, inode] : run.transaction.MadeDirectories()) {
        run.record.AddDirectory(RecordedDirectory{relative, inode});
    }
    const KeptGeneration& kept = run.transaction.Generation();
    if (kept.kept) run.record.AddKept(kept.identity);
    run.job.recordError = run.record.Finish(static_cast<int64_t>(std::time(nullptr)));
    run.job.recordWritten = run.job.recordError == 0;
    if (!kept.kept) return;
    if (run.job.recordWritten) {
        run.job.keptBytes = kept.bytes;
        return;
    }
    // No record names them: they could never be brought back.
    Staging unnamed;
    if (OpenKeptGeneration(run.transaction.Target(), kept.identity, unnamed) == 0) {
        (void)DiscardKeptGeneration(unnamed);
    }
}

}  // namespace vxk5
