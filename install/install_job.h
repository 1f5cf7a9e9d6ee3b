#pragma once
// The installation job: copies every file entry of a kit into the template
// directory, replacing an existing file only when the kit's copy is newer.
// Every change is journalled before it is made (replaced files are moved into
// a backup directory k5stp<N> in the temporary directory; directories and
// files the job makes are listed), so that a failure can put the template
// directory back as it was.
//
// The job reports through the InstallJobState only: code 0, the destination
// and the percentage before each entry; code 0, "Copying complete..." and 100
// once at the end; or the failure code, "Installation error" and the
// percentage of the entry being handled. A failure is posted before the
// journal is played back.

#include <cstdint>
#include <functional>
#include <vector>

#include "base/wstring.h"
#include "install/install_counts.h"
#include "platform/job_state.h"

struct DistributionKit;

// One run of the job. The paths are kept exactly as used.
struct JournalRecord {
    WString targetDirectory;                 // ends with a separator (or is empty)
    WString backupDirectory;                 // ends with "/"; empty until made
    std::vector<WString> createdDirectories; // in the order made, parents first
    std::vector<WString> newFiles;           // destinations that did not exist before
};

constexpr uint32_t kFinalPauseMilliseconds = 1000;

// Made empty before a run and discarded after it.
struct InstallJob {
    std::vector<JournalRecord> journal;  // every operation works on the last record
    InstallJobState* jobState = nullptr; // not owned
    InstallCounts counts;                // entries written new, replaced and kept so far

    // Test and benchmark hooks; the worker never changes them.
    // The pause after the success has been posted.
    uint32_t finalPauseMilliseconds = kFinalPauseMilliseconds;
    // Sees every post, right after it has been made, on the job's thread.
    std::function<void(uint32_t code, const WString& text, uint32_t percent)> postObserver;
};

// Runs the whole job on the kit and the target directory set up in `state`.
// 0, or the code that ended it (after the rollback).
uint32_t RunInstallJob(InstallJob& job, InstallJobState& state);

// Appends the job's journal record and makes the backup directory k5stp<N>
// (the first number free in the temporary directory). No backup directory is
// made for an empty target directory.
[[nodiscard]] uint32_t BeginInstall(InstallJob& job, const WString& targetDirectory);

// Removes the backup directory of the last record.
void CommitInstall(InstallJob& job);

// Posts the failure (code, "Installation error", percent), then plays the
// journal back. Returns `code`.
uint32_t ReportInstallError(InstallJob& job, uint32_t code, uint32_t percent);

// SetJobResult on the job's state, then the job's post observer, if any.
void PostJobResult(InstallJob& job, uint32_t code, const WString& text, uint32_t percent);
