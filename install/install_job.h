#pragma once
// The installation job: copies every file entry of a kit into the template
// directory, replacing an existing file only when the kit's copy is newer.
// Every change is journalled before it is made, in memory and in a journal
// file k5stp<N>.journal beside the backup directory k5stp<N> in the temporary
// directory: directories about to be made, originals about to be moved into
// the backup directory, new files about to be written. A failure plays the
// journal back (newest first) so that the template directory is as it was; a
// process killed part-way is undone from the file at the next start. The job
// holds an exclusive lock on the template directory from before its first
// change until the commit or the rollback is done.
//
// The job reports through the InstallJobState only: code 0, the destination
// and the percentage before each entry; code 0, "Copying complete..." and 100
// once at the end; or the failure code, "Installation error" and the
// percentage of the entry being handled. A failure is posted before the
// journal is played back (and, when an original could not be put back, once
// more afterwards with the place where the originals are kept).

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/wstring.h"
#include "install/destination_directories.h"
#include "install/journal_format.h"
#include "install/install_counts.h"
#include "platform/job_state.h"
#include "platform/journal_file.h"

namespace vxk5 {

struct DistributionKit;

// One run of the job. The paths are kept exactly as used.
struct JournalRecord {
    WString targetDirectory;                 // ends with a separator (or is empty)
    WString backupDirectory;                 // ends with "/"; empty until made
    std::vector<WString> createdDirectories; // in the order made, parents first
    std::vector<WString> newFiles;           // destinations that did not exist before

    // The same run as the journal file has it: byte paths, every change in
    // the order made. `target` is absolute and ends with "/".
    std::string target;
    std::string backup;  // ends with "/"; empty until made
    std::vector<JournalStep> steps;
};

// Why a job failed: the path it was working on and the system's errno value
// (0 when the failure was no system call's, such as a refused entry name).
// Empty path and 0 while nothing has failed.
struct InstallFailure {
    AString path;
    int error = 0;
};

constexpr uint32_t kFinalPauseMilliseconds = 1000;

// Made empty before a run and discarded after it.
struct InstallJob {
    std::vector<JournalRecord> journal;  // every operation works on the last record
    InstallJobState* jobState = nullptr; // not owned
    InstallCounts counts;                // entries written new, replaced and kept so far

    JournalFile journalFile;    // open and locked from BeginInstall to the end
    DirectoryLock targetLock;   // held from before the first change to the end
    InstallFailure failure;     // the first failure's path and errno
    bool backupKept = false;    // a rollback could not put every original back

    // What the job already knows, so that each entry costs one lstat: the
    // directories that exist, the backup subdirectories made, and the
    // destinations it has written (a later entry of the same name rewrites
    // them without another record).
    std::unordered_set<std::string> knownDirectories;
    std::unordered_set<std::string> backupDirectories;
    std::unordered_set<std::string> placed;
    // The template directory and the directories below it opened so far.
    DestinationDirectories destinations;

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

// Writes the commit record, then removes the backup directory and the journal
// file of the last record. 0, or the code of a commit record that could not be
// written (the job is then still to be rolled back).
[[nodiscard]] uint32_t CommitInstall(InstallJob& job);

// Takes the template directory's lock, making the directory first when it is
// missing (journalled). While another installer holds the lock, posts the
// waiting text and waits. 0 or a code (the failure detail is set).
[[nodiscard]] uint32_t LockTemplateDirectory(InstallJob& job);

// Writes `line` to the job's journal file, when there is one. 0, or the code
// (the failure detail names the journal).
[[nodiscard]] uint32_t WriteAhead(InstallJob& job, const std::string& line);

// Records the failure detail unless one is recorded already; returns the
// result code for `error`.
uint32_t NoteFailure(InstallJob& job, const std::string& path, int error);

// Posts the failure (code, "Installation error", percent), then plays the
// journal back. Returns `code`.
uint32_t ReportInstallError(InstallJob& job, uint32_t code, uint32_t percent);

// SetJobResult on the job's state, then the job's post observer, if any.
void PostJobResult(InstallJob& job, uint32_t code, const WString& text, uint32_t percent);

}  // namespace vxk5
