// The installation as a transaction: a failure at any step, of any kind,
// leaves the template directory exactly as it was (names, bytes, times,
// permission bits, link texts) and the temporary directory clean; what stands
// at a destination is judged without opening it.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "base/conversion.h"
#include "install/undo.h"
#include "install/install_job.h"
#include "install/recovery.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;   // 2001
constexpr int64_t kNew = 1262304000;  // 2010
constexpr int64_t kNewer = 1577836800;  // 2020

// Fails the n-th step of one kind with `error`; counts every kind.
struct StepFault {
    FaultStep kind = FaultStep::Write;
    int nth = 0;  // 0: never
    int error = ENOSPC;
    std::map<FaultStep, int> seen;
    bool fired = false;
};

int FailNth(FaultStep step, const std::string&, void* context) {
    StepFault& fault = *static_cast<StepFault*>(context);
    const int count = ++fault.seen[step];
    if (step == fault.kind && count == fault.nth) {
        fault.fired = true;
        return fault.error;
    }
    return 0;
}

class TransactionTest : public InstallTest {
protected:
    void TearDown() override {
        SetFaultHook(nullptr, nullptr);
        InstallTest::TearDown();
    }

    // Originals of every kind the job meets: replaced files (one read-only,
    // one unreadable), a link to an older file, a dangling link, a newer file
    // kept, and a directory that stays as it is.
    void MakeOldState() {
        RemoveAll(TargetPath());
        MakeDirectories(TargetPath("sub"));
        WriteFile(TargetPath("replaced.txt"), "original bytes");
        ASSERT_EQ(::chmod(TargetPath("replaced.txt").c_str(), 0444), 0);
        SetModificationTime(TargetPath("replaced.txt"), kOld);
        WriteFile(TargetPath("sub/secret.txt"), "nobody may read this");
        ASSERT_EQ(::chmod(TargetPath("sub/secret.txt").c_str(), 0), 0);
        SetModificationTime(TargetPath("sub/secret.txt"), kOld);
        WriteFile(TargetPath("sub/pointed.txt"), "pointed at");
        SetModificationTime(TargetPath("sub/pointed.txt"), kOld);
        ASSERT_EQ(::symlink("pointed.txt", TargetPath("sub/link.txt").c_str()), 0);
        ASSERT_EQ(::symlink("nowhere", TargetPath("dangling.txt").c_str()), 0);
        for (const char* link : {"sub/link.txt", "dangling.txt"}) {
            const struct timespec times[2] = {{kOld, 0}, {kOld, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, TargetPath(link).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        }
        WriteFile(TargetPath("kept.txt"), "newer than the kit");
        SetModificationTime(TargetPath("kept.txt"), kNewer);
    }

    void AddKit() {
        AddEntry("replaced.txt", "kit replaced", TimeAt(kNew));
        AddEntry("sub\\secret.txt", "kit secret", TimeAt(kNew));
        AddEntry("made\\deeper\\new.txt", "kit new", TimeAt(kNew));
        AddEntry("sub\\link.txt", "kit link", TimeAt(kNew));
        AddEntry("dangling.txt", "kit dangling", TimeAt(kNew));
        AddEntry("kept.txt", "kit kept", TimeAt(kNew));
        AddEntry("made\\second.txt", std::string(3 * 65536, 's'), TimeAt(kNew));
        AddEntry("top.txt", "kit top", TimeAt(kNew));
    }

    void ExpectUnchanged(const TreeSnapshot& before, const std::string& what) {
        EXPECT_EQ(Snapshot(TargetPath()), before) << what;
        EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
    }
};

// Every step of every kind fails once in turn (with a full disk): each time
// the job reports it, names the path and errno, and leaves nothing changed;
// with the files written on one thread and on two.
TEST_F(TransactionTest, FailureAtEveryStepLeavesEverythingAsItWas) {
    MakeOldState();
    const TreeSnapshot before = Snapshot(TargetPath());
    AddKit();
    const FaultStep kinds[] = {FaultStep::JournalWrite, FaultStep::MakeDirectory, FaultStep::MoveToBackup,
                               FaultStep::CreateFile,   FaultStep::Write,         FaultStep::SetTimes,
                               FaultStep::Close};
    for (const size_t parallelFrom : {SIZE_MAX, size_t{2}}) {
        parallelFrom_ = parallelFrom;
        for (const FaultStep kind : kinds) {
            int failures = 0;
            for (int nth = 1;; ++nth) {
                MakeOldState();
                StepFault fault;
                fault.kind = kind;
                fault.nth = nth;
                SetFaultHook(FailNth, &fault);
                const uint32_t code = RunJob();
                SetFaultHook(nullptr, nullptr);
                const std::string what = "kind " + std::to_string(static_cast<int>(kind)) + " step " +
                                         std::to_string(nth) + (parallelFrom == 2 ? " on two threads" : "");
                if (!fault.fired) {
                    EXPECT_EQ(code, 0u) << what;
                    break;
                }
                ++failures;
                EXPECT_NE(code, 0u) << what;
                ExpectUnchanged(before, what);
                EXPECT_EQ(job_.failure.error, ENOSPC) << what;
                EXPECT_FALSE(job_.failure.path.empty()) << what;
                EXPECT_FALSE(job_.backupKept) << what;
            }
            EXPECT_GT(failures, 0) << "kind " << static_cast<int>(kind) << " never came up";
        }
    }
}

// A restore that fails keeps the backup and the journal, says where the
// originals are, and the recovery at the next start puts them back.
TEST_F(TransactionTest, FailedRestoreKeepsTheOriginalsUntilTheNextStart) {
    MakeOldState();
    const TreeSnapshot before = Snapshot(TargetPath());
    AddKit();
    AddEntry("..\\refused", "x", TimeAt(kNew));  // the job fails at the end
    batchSize_ = 1;  // with everything before it in place
    StepFault fault;
    fault.kind = FaultStep::Restore;
    fault.nth = 1;
    fault.error = EIO;
    SetFaultHook(FailNth, &fault);
    EXPECT_EQ(RunJob(), 13u);
    SetFaultHook(nullptr, nullptr);
    ASSERT_TRUE(fault.fired);
    EXPECT_TRUE(job_.backupKept);
    ASSERT_FALSE(posts_.empty());
    EXPECT_NE(posts_.back().text.find("Installation error\nNot all original files could be restored. "
                                      "The originals are kept in: " + RootPath(".k5stp0-t/originals/")),
              std::string::npos)
        << posts_.back().text;
    EXPECT_TRUE(IsDirectory(RootPath(".k5stp0-t/originals")));
    EXPECT_TRUE(PathExists(RootPath(".k5stp0-t/journal")));
    EXPECT_TRUE(ListNames(TempPath()).empty());

    const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::RolledBack);
    EXPECT_EQ(ToMultiByteString(reports[0].templateDirectory), TargetPath());
    ExpectUnchanged(before, "after the recovery");
}

// Removing the new files, and reaching a restore across file systems, is
// also covered by the tmpfs tests; here a failing removal of a new file does
// not hold back the originals.
TEST_F(TransactionTest, FailedRemovalOfANewFileStillRestoresTheOriginals) {
    MakeOldState();
    AddKit();
    AddEntry("..\\refused", "x", TimeAt(kNew));
    batchSize_ = 1;
    StepFault fault;
    fault.kind = FaultStep::Remove;
    fault.nth = 1;
    fault.error = EIO;
    SetFaultHook(FailNth, &fault);
    EXPECT_EQ(RunJob(), 13u);
    SetFaultHook(nullptr, nullptr);
    EXPECT_FALSE(job_.backupKept);
    EXPECT_EQ(ReadFile(TargetPath("replaced.txt")), "original bytes");
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

TEST_F(TransactionTest, WhatStandsAtADestinationIsJudgedWithoutOpeningIt) {
    // A newer file nobody may read stays; an older one goes to the backup.
    WriteFile(TargetPath("newer-unreadable"), "mine");
    ASSERT_EQ(::chmod(TargetPath("newer-unreadable").c_str(), 0), 0);
    SetModificationTime(TargetPath("newer-unreadable"), kNewer);
    AddEntry("newer-unreadable", "older kit copy", TimeAt(kNew));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("newer-unreadable")), "mine");

    // A FIFO where a file goes fails the job at once, whatever its time (an
    // open would wait for a writer for ever).
    ResetKit();
    ASSERT_EQ(::mkfifo(TargetPath("pipe").c_str(), 0600), 0);
    SetModificationTime(TargetPath("pipe"), kNewer);
    AddEntry("a.txt", "a", TimeAt(kNew));
    AddEntry("pipe", "x", TimeAt(kNew));
    TreeSnapshot before = Snapshot(TargetPath());
    EXPECT_EQ(RunJob(), 87u);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath("pipe"));
    EXPECT_EQ(job_.failure.error, EEXIST);

    // A directory, and a link to one, newer than the entry: the same.
    for (const char* name : {"dir", "dirlink"}) {
        ResetKit();
        if (std::string(name) == "dir") {
            MakeDirectories(TargetPath("dir/inner"));
        } else {
            ASSERT_EQ(::symlink("dir", TargetPath("dirlink").c_str()), 0);
        }
        SetModificationTime(TargetPath("dir"), kNewer);
        AddEntry(name, "x", TimeAt(kNew));
        before = Snapshot(TargetPath());
        EXPECT_EQ(RunJob(), 87u) << name;
        EXPECT_EQ(job_.failure.error, EISDIR) << name;
        EXPECT_EQ(Snapshot(TargetPath()), before) << name;
    }
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

// "q" and "q\b" cannot both be files: in either order the job fails and
// undoes the first.
TEST_F(TransactionTest, AFileAndADirectoryOfOneNameFailInEitherOrder) {
    const TreeSnapshot before = Snapshot(TargetPath());
    for (const bool fileFirst : {true, false}) {
        ResetKit();
        if (fileFirst) AddEntry("q", "file", TimeAt(kNew));
        AddEntry("q\\b", "inside", TimeAt(kNew));
        if (!fileFirst) AddEntry("q", "file", TimeAt(kNew));
        EXPECT_NE(RunJob(), 0u) << fileFirst;
        EXPECT_EQ(Snapshot(TargetPath()), before) << fileFirst;
        EXPECT_TRUE(ListNames(TempPath()).empty());
    }
}

// The staging directory is made with one mkdir, mode 0700; anything of its
// name moves the job on to the next number and is never adopted.
TEST_F(TransactionTest, StagingDirectoryIsPrivateAndNeverAdopted) {
    MakeDirectories(RootPath(".k5stp0-t"));
    ASSERT_EQ(::chmod(RootPath(".k5stp0-t").c_str(), 0777), 0);
    WriteFile(RootPath(".k5stp1-t"), "someone's");
    WriteFile(TargetPath("a.txt"), "old");
    SetModificationTime(TargetPath("a.txt"), kOld);
    AddEntry("a.txt", "new", TimeAt(kNew));
    onPost_ = [this](const Post& post) {
        if (post.code != 0 || post.percent != 0) return;
        struct stat status;
        ASSERT_EQ(::lstat(RootPath(".k5stp2-t").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0700u);
        ASSERT_EQ(::lstat(RootPath(".k5stp2-t/journal").c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_mode & 07777, 0600u);
    };
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(StagingPath(), RootPath(".k5stp2-t/"));
    EXPECT_TRUE(ListNames(RootPath(".k5stp0-t")).empty());
    EXPECT_EQ(ReadFile(RootPath(".k5stp1-t")), "someone's");
    EXPECT_FALSE(PathExists(RootPath(".k5stp2-t")));
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

// Two installers into one template directory at once, one of them failing
// after it has written: the end state is the good kit's whole installation.
TEST_F(TransactionTest, TwoInstallersIntoOneDirectoryEndWithTheGoodKit) {
    constexpr int kFiles = 300;
    for (int round = 0; round < 4; ++round) {
        RemoveAll(TargetPath());
        MakeDirectories(TargetPath());
        pid_t children[2];
        for (int which = 0; which < 2; ++which) {
            ResetKit();
            const bool good = (which == 0) == (round % 2 == 0);
            for (int i = 0; i < kFiles; ++i) {
                const std::string name = "d" + std::to_string(i % 7) + "\\f" + std::to_string(i);
                // The failing kit is newer, so that it replaces what the good one wrote.
                AddEntry(name, (good ? "good " : "bad ") + std::to_string(i), TimeAt(good ? kNew : kNewer));
            }
            if (!good) AddEntry("..\\refused", "x", TimeAt(kNewer));
            BuildKit();
            children[which] = ::fork();
            ASSERT_GE(children[which], 0);
            if (children[which] == 0) {
                const uint32_t code = RunJob();
                ::_exit(good ? (code == 0 ? 0 : 10) : (code == 13 ? 0 : 11));
            }
        }
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << " status " << status;
        }
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = TargetPath("d" + std::to_string(i % 7) + "/f" + std::to_string(i));
            ASSERT_EQ(ReadFile(path), "good " + std::to_string(i)) << "round " << round;
            ASSERT_EQ(ModificationTime(path), kNew);
        }
        EXPECT_EQ(ListNames(TargetPath()).size(), 7u);
        EXPECT_TRUE(ListNames(TempPath()).empty());
    }
}

// While another installer holds the template directory the job says so and
// waits; it goes on as soon as the lock is free.
TEST_F(TransactionTest, SecondInstallerWaitsForTheTemplateDirectory) {
    int holder = ::open(TargetPath().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    AddEntry("a.txt", "x", TimeAt(kNew));
    onPost_ = [&holder, this](const Post& post) {
        if (post.text != "Waiting for another installation into this directory to finish...") return;
        EXPECT_EQ(post.code, 0u);
        EXPECT_EQ(post.percent, 0u);
        EXPECT_FALSE(PathExists(TargetPath("a.txt")));
        ::close(holder);  // the other installer ends
        holder = -1;
    };
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(holder, -1) << "the job never waited";
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "x");
}

// A relative template path is made down from the first directory that
// exists, and a rollback removes exactly the directories made.
TEST_F(TransactionTest, RelativeTemplatePathIsMadeAndUndoneExactly) {
    const std::string saved = CurrentDirectory();
    ASSERT_EQ(::chdir(RootPath("").c_str()), 0);
    AddEntry("a.txt", "x", TimeAt(kNew));
    const uint32_t made = RunJobInto("rel/templates");
    ResetKit();
    AddEntry("b\\c.txt", "y", TimeAt(kNew));
    AddEntry("..\\refused", "z", TimeAt(kNew));
    const uint32_t failed = RunJobInto("other/templates");
    ASSERT_EQ(::chdir(saved.c_str()), 0);
    EXPECT_EQ(made, 0u);
    EXPECT_EQ(ReadFile(RootPath("rel/templates/a.txt")), "x");
    EXPECT_EQ(failed, 13u);
    EXPECT_FALSE(PathExists(RootPath("other")));
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

}  // namespace
