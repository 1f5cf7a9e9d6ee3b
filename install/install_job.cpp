#include "install/install_job.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <vector>

#include "install/copy_batch.h"
#include "install/copy_plan.h"
#include "install/copy_run.h"
#include "base/conversion.h"
#include "install/install_record.h"
#include "install/install_worker.h"
#include "kit/distribution_kit.h"
#include "kit/kit_reader.h"
#include "lang/messages.h"
#include "platform/file_system.h"

namespace vxk5 {

namespace {

// Posts the failure (code, "Installation error", percent), then rolls the
// transaction back. Returns `code`.
uint32_t ReportInstallError(InstallJob& job, InstallJobState& state, Transaction& transaction, uint32_t code,
                            uint32_t percent) {
    const int error = transaction.FirstFailure().error;
    WString text = LoadResString("IDS_INSTALL_ERROR");
    // A journal, a staging directory or a file that ran out of room says so:
    // each is on the template directory's file system.
    if (error == ENOSPC || error == EDQUOT) {
        WString target;
        GetJobSetup(state, target);
        text += u"\n" + LoadResString("IDS_ERROR_NOSPACE_TARGET") + u" " + target;
    }
    if (job.kitDamaged) text += u"\n" + LoadResString("IDS_ERROR_DAMAGEDSOURCE");
    PostJobResult(job, state, code, text, percent);
    // The rollback hands `code` back; what it could not undo is in Kept().
    (void)transaction.Rollback(code);
    const KeptOriginals& kept = transaction.Kept();
    if (kept.kept) {
        // Said once more, now that the rollback is over: where the originals
        // are, and which of them could not be put back.
        WString said = text + u"\n" + LoadResString("IDS_ERROR_BACKUPKEPT") + u" " + FromMultiByte(kept.where);
        for (const std::string& path : kept.notRestored) said += u"\n" + FromMultiByte(path);
        PostJobResult(job, state, code, said, percent);
    }
    return code;
}

uint32_t ReportInstallError(CopyRun& run, uint32_t code, uint32_t percent) {
    return ReportInstallError(run.job, run.state, run.transaction, code, percent);
}

TransactionOptions OptionsOf(CopyRun& run) {
    TransactionOptions options;
    options.durability = run.job.durability;
    options.exchangeOriginals = run.job.exchangeOriginals;
    options.firstWorkingNumber = run.job.firstWorkingNumber;
    options.waiting = [&run](bool waiting) {
        // The progress stays where it is; the text says why.
        SetJobWaiting(run.state, waiting);
        if (waiting) run.Post(ERR_SUCCESS, LoadResString("IDS_WAITING_INSTALL"), 0);
    };
    return options;
}

// Inflated straight into the files, the data area needs no room in the
// temporary directory but in the template directory's file system, which
// holds the staging directory too: a batch whose files need more bytes than
// it has free is refused before any of them is written, and the failure names
// the template directory. The files' sizes are what the batch writes at
// least. Free space that cannot be told is left to the writes, which say so.
uint32_t CheckRoomForBatch(CopyRun& run, const std::vector<PendingFile>& batch) {
    if (!run.kit.InflatingIntoFiles()) return ERR_SUCCESS;
    uint64_t needed = 0;
    for (const PendingFile& pending : batch) needed += run.kit.Entries()[pending.index].size;
    uint64_t room = 0;
    if (GetFreeSpaceAt(run.transaction.StagingPath(), room) != 0 || needed <= room) return ERR_SUCCESS;
    return run.Stop(run.transaction.Fail(run.transaction.Target(), ENOSPC), batch[0].percent);
}

// Plans, journals, writes and places every batch of the kit's entries.
uint32_t CopyBatches(CopyRun& run, BatchPlanner& planner) {
    BatchCopier copier(run, planner);
    std::vector<PendingFile> batch;
    BatchRuns runs;
    while (planner.More()) {
        if (const uint32_t code = planner.Plan(batch); code != ERR_SUCCESS) return code;
        if (batch.empty()) continue;
        if (const uint32_t code = CheckRoomForBatch(run, batch); code != ERR_SUCCESS) return code;
        // The batch's records are on the disk before any change they describe.
        if (const uint32_t code = run.transaction.SyncJournal(); code != 0) return run.Stop(code, batch[0].percent);
        if (const uint32_t code = copier.Write(batch, runs); code != ERR_SUCCESS) return code;
        run.transaction.PlannedDirectoriesMade();
        // The identities are on the disk before the files take their names,
        // so that a rollback after a power cut knows every file as the job's.
        if (const uint32_t code = run.transaction.SyncJournal(); code != 0) return run.Stop(code, batch[0].percent);
        if (const uint32_t code = copier.Place(batch, runs); code != ERR_SUCCESS) return code;
    }
    // A data area whose unpacking failed after the last file's bytes is
    // damaged all the same: nothing of it is committed.
    if (run.kit.RestUnpackingStarted()) {
        if (const uint32_t code = UnpackRest(run.kit); code != 0) return run.KitFailed(code, 100);
    }
    return ERR_SUCCESS;
}

// The job's outline: begin, copy every batch, commit, report.
uint32_t RunJob(CopyRun& run, const WString& target) {
    // Without a template directory the names would be taken relative to
    // wherever the process happens to be.
    if (target.empty() && !run.kit.Entries().empty()) return ReportInstallError(run, ERR_PATH_NOT_FOUND, 0);
    if (const uint32_t code = run.transaction.Begin(target, OptionsOf(run)); code != ERR_SUCCESS) {
        return ReportInstallError(run, code, 0);
    }
    OpenInstallRecord(run);
    BatchPlanner planner(run);
    uint32_t code = planner.Prepare();
    if (code == ERR_SUCCESS) code = CopyBatches(run, planner);
    if (code != ERR_SUCCESS) return ReportInstallError(run, code, run.stopPercent);
    // The record is on the disk before the commit, which a failure withdraws it from.
    FinishInstallRecord(run);
    if (const uint32_t failed = run.transaction.Commit(); failed != ERR_SUCCESS) {
        SettleInstallRecord(run, false);
        return ReportInstallError(run, failed, 100);
    }
    SettleInstallRecord(run, true);
    run.Post(ERR_SUCCESS, LoadResString("IDS_INSTALL_FINISH"), 100);
    if (run.job.finalPauseMilliseconds != 0) SleepMilliseconds(run.job.finalPauseMilliseconds);
    return ERR_SUCCESS;
}

// Out of memory part-way: the journal is still here, so the failure is
// posted and the transaction rolled back as for any other failure, unless
// the job had ended already.
uint32_t RunOutOfMemory(CopyRun& run) {
    uint32_t posted = 0;
    WString text;
    uint32_t percent = 0;
    GetJobResult(run.state, posted, text, percent);
    if (posted != ERR_SUCCESS) return posted;
    if (percent == 100) return ERR_SUCCESS;
    return ReportInstallError(run, ERR_INVALID_PARAMETER, percent);
}

void KeepResults(InstallJob& job, Transaction& transaction) {
    job.failure = transaction.FirstFailure();
    job.backupKept = transaction.Kept().kept;
    job.notRestored = transaction.Kept().notRestored;
    job.keptOriginals = transaction.Kept().where;
    job.stagingPath = transaction.StagingPath();
    job.recovered = transaction.Recovered();
    job.record = transaction.TakeRecord();
}

}  // namespace

Failure RunInstallJob(InstallJob& job, InstallJobState& state, DistributionKit* kit) {
    Transaction transaction;
    uint32_t code = ERR_INVALID_PARAMETER;
    if (kit == nullptr) {
        // Posts the failure; it hands back `code`, which is returned below.
        (void)ReportInstallError(job, state, transaction, code, 0);
    } else {
        WString target;
        GetJobSetup(state, target);
        CopyRun run{job, state, transaction, *kit};
        try {
            code = RunJob(run, target);
        } catch (const std::exception&) {
            code = RunOutOfMemory(run);
        }
    }
    KeepResults(job, transaction);
    if (code == ERR_SUCCESS) return Succeeded();
    return FailureOf(code, job.failure.error, job.failure.path);
}

}  // namespace vxk5
