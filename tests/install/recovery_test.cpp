// An installer killed with SIGKILL at any point, and the recovery at the next
// start: afterwards the template directory is exactly the old state or, when
// the commit record had been written, exactly the new one, and nothing is
// left in the temporary directory. The recovery touches only journals that
// are its own and free.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/conversion.h"
#include "install/install_job.h"
#include "install/journal_format.h"
#include "install/recovery.h"
#include "platform/fault_injection.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;   // 2001
constexpr int64_t kNew = 1262304000;  // 2010
constexpr int kFiles = 240;

// Counts every step; kills the process at step `killAt` (0: never).
struct StepCounter {
    int steps = 0;
    int killAt = 0;
};

int CountOrKill(FaultStep, const std::string&, void* context) {
    StepCounter& counter = *static_cast<StepCounter*>(context);
    ++counter.steps;
    if (counter.steps == counter.killAt) ::kill(::getpid(), SIGKILL);
    return 0;
}

class RecoveryTest : public InstallTest {
protected:
    void TearDown() override {
        SetFaultHook(nullptr, nullptr);
        InstallTest::TearDown();
    }

    // Half of the kit's files exist in an older version; the rest are new,
    // some in directories that do not exist yet.
    void MakeOldState() {
        RemoveAll(TargetPath());
        for (int d = 0; d < 4; ++d) MakeDirectories(TargetPath("old" + std::to_string(d)));
        for (int i = 0; i < kFiles; i += 2) {
            const std::string path = TargetPath(OldName(i));
            WriteFile(path, "old " + std::to_string(i));
            SetModificationTime(path, kOld);
        }
        ASSERT_EQ(::symlink("nowhere", TargetPath("old0/dangling").c_str()), 0);
        const struct timespec times[2] = {{kOld, 0}, {kOld, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, TargetPath("old0/dangling").c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    static std::string OldName(int i) { return "old" + std::to_string(i % 4) + "/f" + std::to_string(i); }
    static std::string KitName(int i) {
        return i % 2 == 0 ? "old" + std::to_string(i % 4) + "\\f" + std::to_string(i)
                          : "new" + std::to_string(i % 5) + "\\deep\\f" + std::to_string(i);
    }

    void AddKit() {
        for (int i = 0; i < kFiles; ++i) AddEntry(KitName(i), "new " + std::to_string(i), TimeAt(kNew));
        AddEntry("old0\\dangling", "replaces the link", TimeAt(kNew));
    }
};

// The counting run also finds the commit: the journal write whose step is
// followed by no further journal write.
struct CommitFinder {
    int steps = 0;
    int lastJournalWrite = 0;
};

int FindCommit(FaultStep step, const std::string&, void* context) {
    CommitFinder& finder = *static_cast<CommitFinder*>(context);
    ++finder.steps;
    if (step == FaultStep::JournalWrite) finder.lastJournalWrite = finder.steps;
    return 0;
}

TEST_F(RecoveryTest, KilledAtAnyPointIsUndoneOrCompletedAtTheNextStart) {
    MakeOldState();
    const TreeSnapshot oldState = Snapshot(TargetPath());
    AddKit();
    BuildKit();

    CommitFinder finder;
    SetFaultHook(FindCommit, &finder);
    ASSERT_EQ(RunJob(), 0u);
    SetFaultHook(nullptr, nullptr);
    const TreeSnapshot newState = Snapshot(TargetPath());
    ASSERT_NE(newState, oldState);
    const int commit = finder.lastJournalWrite;
    ASSERT_GT(finder.steps, commit);  // the purge comes after the commit

    // 20 points spread over the copy, 5 inside the purge.
    std::vector<int> points;
    for (int k = 0; k < 20; ++k) points.push_back(1 + k * (commit - 1) / 19);
    for (int k = 1; k <= 5; ++k) points.push_back(commit + k * (finder.steps - commit) / 5);
    for (const int killAt : points) {
        MakeOldState();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            StepCounter counter;
            counter.killAt = killAt;
            SetFaultHook(CountOrKill, &counter);
            (void)RunJob();
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "step " << killAt;

        const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
        const TreeSnapshot after = Snapshot(TargetPath());
        if (killAt > commit) {
            EXPECT_EQ(after, newState) << "killed at step " << killAt << " after the commit " << commit;
        } else {
            EXPECT_EQ(after, oldState) << "killed at step " << killAt << " before the commit " << commit;
        }
        EXPECT_TRUE(ListNames(TempPath()).empty()) << "step " << killAt;
        for (const RecoveryReport& report : reports) {
            EXPECT_NE(report.outcome, RecoveryReport::Outcome::Unreadable) << "step " << killAt;
            EXPECT_NE(report.outcome, RecoveryReport::Outcome::BackupKept) << "step " << killAt;
        }
    }
}

// The file being written when the process died is removed by the recovery:
// the next run writes it again instead of taking it as up to date. It was
// never under its own name, only under its temporary one.
TEST_F(RecoveryTest, FileCutShortByTheKillIsWrittenAgainByTheNextRun) {
    AddEntry("big.bin", std::string(4 * 1024 * 1024, 'b'), TimeAt(kNew));
    BuildKit();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Killed at the second write of the file: half of it is there.
        struct State {
            int writes = 0;
        } state;
        SetFaultHook(
            [](FaultStep step, const std::string&, void* context) {
                if (step == FaultStep::Write && ++static_cast<State*>(context)->writes == 2) {
                    ::kill(::getpid(), SIGKILL);
                }
                return 0;
            },
            &state);
        (void)RunJob();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(PathExists(TargetPath("big.bin")));
    EXPECT_EQ(ReadFile(TargetPath(".k5stp0.0")).size(), 1024u * 1024u);
    ASSERT_EQ(RecoverInterruptedInstalls().size(), 1u);
    EXPECT_TRUE(ListNames(TargetPath()).empty());  // the stray temporary name went too
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("big.bin")).size(), 4u * 1024u * 1024u);
}

// What the recovery leaves alone: another user's staging directory, one whose
// journal a live installer holds, a link named like one, one with the wrong
// mode, one not named like one, and journals that do not parse or name
// another staging directory (reported, kept). A file is removed only when it
// is the one the journal identified.
TEST_F(RecoveryTest, RecoveryTouchesOnlyFreeStagingDirectoriesOfItsOwn) {
    WriteFile(TargetPath("precious"), "keep me");
    WriteFile(TargetPath("other"), "not the job's");
    struct stat precious;
    ASSERT_EQ(::lstat(TargetPath("precious").c_str(), &precious), 0);
    struct stat target;
    ASSERT_EQ(::stat(TargetPath().c_str(), &target), 0);
    MakeDirectories(RootPath("home/.vxk5/transactions"));
    // A staging directory beside the template directory, listed in the registry.
    auto plant = [&](const std::string& name, const std::string& text) {
        const std::string path = RootPath(name);
        EXPECT_EQ(::mkdir(path.c_str(), 0700), 0) << name;
        EXPECT_EQ(::chmod(path.c_str(), 0700), 0);
        EXPECT_EQ(::mkdir((path + "/originals").c_str(), 0700), 0);
        const int fd = ::open((path + "/journal").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
        EXPECT_EQ(::chmod((path + "/journal").c_str(), 0600), 0);
        WriteFile(RootPath("home/.vxk5/transactions/" + name), "vxk5-staging 1\n" + path + "/\n");
        return path;
    };
    auto wants = [&](const std::string& name) {
        return JournalHeader(TargetPath(), target.st_dev, target.st_ino, RootPath(name) + "/") +
               JournalWriteLine(".k5stp9.0", TargetPath("precious")) +
               JournalIdentityLine(StepKind::WriteFile, precious.st_dev, precious.st_ino, TargetPath("precious")) +
               JournalWriteLine(".k5stp9.1", TargetPath("other")) +
               JournalIdentityLine(StepKind::WriteFile, precious.st_dev, precious.st_ino + 1000000, TargetPath("other"));
    };
    // Another user's (only root can make one; skipped otherwise).
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(plant(".k5stp1-t", wants(".k5stp1-t")).c_str(), 65534, 65534), 0);
    }
    // Held by a live installer.
    const std::string held = plant(".k5stp2-t", wants(".k5stp2-t"));
    const int holder = ::open((held + "/journal").c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    // A link with a staging directory's name, pointing at a good one elsewhere.
    const std::string elsewhere = plant("elsewhere", wants(".k5stp3-t"));
    ASSERT_EQ(::unlink(RootPath("home/.vxk5/transactions/elsewhere").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), RootPath(".k5stp3-t").c_str()), 0);
    WriteFile(RootPath("home/.vxk5/transactions/link"), "vxk5-staging 1\n" + RootPath(".k5stp3-t") + "/\n");
    // Open to others.
    const std::string open = plant(".k5stp4-t", wants(".k5stp4-t"));
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    // Does not parse; and one that names a staging directory not its own:
    // no staging directory's, left alone without a word.
    plant(".k5stp5-t", "not a journal\n");
    plant(".k5stp6-t", wants(".k5stp9-t"));
    // The registry's own entry (named by the directory's device and inode)
    // proves one an installation's: its unreadable journal is said.
    const std::string registered = plant(".k5stp7-t", "not a journal either\n");
    struct stat made;
    ASSERT_EQ(::stat(registered.c_str(), &made), 0);
    ASSERT_EQ(::rename(RootPath("home/.vxk5/transactions/.k5stp7-t").c_str(),
                       RootPath("home/.vxk5/transactions/" + std::to_string(made.st_dev) + "-" +
                                std::to_string(made.st_ino)).c_str()),
              0);

    const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ::close(holder);
    EXPECT_EQ(ReadFile(TargetPath("precious")), "keep me");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::Unreadable);
    EXPECT_EQ(ToMultiByteString(reports[0].journalPath), registered + "/journal");
    EXPECT_NE(ToMultiByteString(RecoveryMessage(reports[0])).find("left in place"), std::string::npos);
    for (const char* name : {".k5stp2-t", ".k5stp3-t", ".k5stp4-t", ".k5stp5-t", ".k5stp6-t", ".k5stp7-t", "elsewhere"}) {
        EXPECT_TRUE(PathExists(RootPath(name))) << name;
    }
    if (root) {
        EXPECT_TRUE(PathExists(RootPath(".k5stp1-t")));
    }

    // Once free, the held one is recovered: the job's file goes, the other
    // file of that name stays.
    const std::vector<RecoveryReport> later = RecoverInterruptedInstalls();
    bool recovered = false;
    for (const RecoveryReport& report : later) {
        if (ToMultiByteString(report.journalPath) == held + "/journal") {
            recovered = report.outcome == RecoveryReport::Outcome::RolledBack;
            EXPECT_EQ(ToMultiByteString(RecoveryMessage(report)),
                      "An interrupted installation was found and cleaned up. Template directory: " + TargetPath());
        }
    }
    EXPECT_TRUE(recovered);
    EXPECT_FALSE(PathExists(TargetPath("precious")));
    EXPECT_EQ(ReadFile(TargetPath("other")), "not the job's");
    EXPECT_FALSE(PathExists(held));
    EXPECT_FALSE(PathExists(RootPath("home/.vxk5/transactions/.k5stp2-t")));
}

TEST(JournalFormatTest, RoundTripsOddBytesAndRefusesWhatReachesOutside) {
    const std::string target = "/t/dir/";
    const std::string odd = "/t/dir/a%b\nc\rd\x7f e";
    std::string text = JournalHeader(target, 7, 8, "/t/.k5stp0-dir/") + JournalStepLine(StepKind::MakeDirectory, "/t") +
                       JournalStepLine(StepKind::MakeDirectory, "/t/dir") +
                       JournalIdentityLine(StepKind::MakeDirectory, 7, 8, "/t/dir") +
                       JournalStepLine(StepKind::MoveToBackup, odd) + JournalWriteLine(".k5stp0.0", odd) +
                       JournalIdentityLine(StepKind::WriteFile, 7, 99, odd) +
                       JournalExchangeLine(".k5stp0.3", "/t/dir/y") +
                       JournalIdentityLine(StepKind::WriteFile, 7, 100, "/t/dir/y") +
                       JournalWriteLine(".k5stp0.1", "/t/dir/x") + "W .k5stp0.2 /t/dir/torn";
    ParsedJournal parsed;
    ASSERT_TRUE(ParseJournal(text, parsed));
    EXPECT_EQ(parsed.target, target);
    EXPECT_EQ(parsed.targetDevice, 7u);
    EXPECT_EQ(parsed.targetInode, 8u);
    EXPECT_EQ(parsed.staging, "/t/.k5stp0-dir/");
    ASSERT_EQ(parsed.steps.size(), 6u);  // the torn last line is no record
    EXPECT_TRUE(parsed.steps[1].identified);
    EXPECT_EQ(parsed.steps[2].path, odd);
    EXPECT_EQ(parsed.steps[3].temporary, ".k5stp0.0");
    EXPECT_TRUE(parsed.steps[3].identified);
    EXPECT_EQ(parsed.steps[3].inode, 99u);
    EXPECT_EQ(parsed.steps[4].kind, StepKind::ExchangeFile);
    EXPECT_EQ(parsed.steps[4].path, "/t/dir/y");
    EXPECT_EQ(parsed.steps[4].temporary, ".k5stp0.3");
    EXPECT_EQ(parsed.steps[4].inode, 100u);  // the new file's identity belongs to the exchange
    EXPECT_FALSE(parsed.steps[5].identified);
    EXPECT_FALSE(parsed.committed);
    ASSERT_TRUE(ParseJournal(text.substr(0, text.rfind('\n') + 1) + JournalCommitLine(), parsed));
    EXPECT_TRUE(parsed.committed);

    const std::string header = JournalHeader(target, 1, 2, "/t/.k5stp0-dir/");
    for (const std::string& bad : {
             JournalWriteLine(".k5stp0.0", "/t/other"),             // outside the target
             JournalWriteLine(".k5stp0.0", "/t/dir/../x"),          // climbs out
             JournalWriteLine("../x", "/t/dir/x"),                  // a temporary name that climbs
             JournalStepLine(StepKind::MoveToBackup, "/t/dir/"),    // the target itself
             JournalStepLine(StepKind::MakeDirectory, "/u"),        // not on the way
             JournalWriteLine(".k5stp0.0", "t/dir/x"),              // relative
             JournalIdentityLine(StepKind::WriteFile, 1, 2, "/t/dir/never"),  // identifies nothing
             std::string("Q /t/dir/x\n"),                           // unknown record
             std::string("X /t/dir/x\n"),                           // an exchange without its temporary name
             JournalExchangeLine(".k5stp0.0", "/t/other"),          // outside the target
             std::string("W .k5stp0.0 /t/dir/%zz\n"),               // bad escape
             JournalCommitLine() + JournalWriteLine(".k5stp0.0", "/t/dir/x"),  // after the commit
             JournalTakeBackLine("a/b", 1, "3.rec"),                 // a working name that climbs
             JournalTakeBackLine(".k5stp0.", 1, "../3.rec"),         // a record elsewhere
             JournalTakeBackLine(".k5stp0.", 1, "3.rec") + JournalTakeBackLine(".k5stp0.", 1, "4.rec"),  // twice
             std::string("U .k5stp0. -1 3.rec\n"),                  // no number
             JournalKeptLine("kept/"),                               // relative
             JournalKeptLine("/t/.k5kept-dir/") + JournalKeptLine("/t/.k5kept-dir/"),  // twice
         }) {
        EXPECT_FALSE(ParseJournal(header + bad, parsed)) << bad;
    }
    // An uninstall: its kept originals and the record it takes back, names with a space included.
    ASSERT_TRUE(ParseJournal(header + JournalKeptLine("/t/.k5kept-dir/") +
                                 JournalTakeBackLine(".k5stp0.", 12345, "3 a.rec") + JournalCommitLine(),
                             parsed));
    EXPECT_EQ(parsed.kept, "/t/.k5kept-dir/");
    EXPECT_EQ(parsed.takeBackPrefix, ".k5stp0.");
    EXPECT_EQ(parsed.takeBackFirst, 12345u);
    EXPECT_EQ(parsed.takeBackRecord, "3 a.rec");
    EXPECT_TRUE(parsed.steps.empty());
    EXPECT_TRUE(parsed.committed);
    EXPECT_FALSE(ParseJournal("", parsed));
    EXPECT_FALSE(ParseJournal("vxk5-journal 2\nT relative/\nI 1 2\nS /tmp/k5stp0/\n", parsed));
    EXPECT_FALSE(ParseJournal("vxk5-journal 1\nT /t/\nB /tmp/k5stp0/\n", parsed));
}

}  // namespace
