// The transaction on the template directory's own file system: where the
// staging directory goes, what the rollback and the recovery may touch (only
// what the job made, identified by device and inode), how a dead installer's
// work is found again (registry, beside, inside), nested template directories,
// a bounded number of descriptors, and names too long for the staging path.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>

#include <sys/xattr.h>

#include "base/conversion.h"
#include "install/undo.h"
#include "install/install_job.h"
#include "install/recovery.h"
#include "install/staging.h"
#include "kit/entry_names.h"
#include "platform/fault_injection.h"
#include "platform/journal_file.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;   // 2001
constexpr int64_t kNew = 1262304000;  // 2010

// Runs `action` once, at the first step of `kind` on a path ending in `suffix`.
struct StepAction {
    FaultStep kind;
    std::string suffix;
    std::function<void()> action;
    bool done = false;
};

int RunAction(FaultStep step, const std::string& path, void* context) {
    StepAction& wanted = *static_cast<StepAction*>(context);
    if (!wanted.done && step == wanted.kind && path.size() >= wanted.suffix.size() &&
        path.compare(path.size() - wanted.suffix.size(), wanted.suffix.size(), wanted.suffix) == 0) {
        wanted.done = true;
        wanted.action();
    }
    return 0;
}

// Kills the process at the `killAt`-th step.
int KillAt(FaultStep, const std::string&, void* context) {
    int& left = *static_cast<int*>(context);
    if (--left == 0) ::kill(::getpid(), SIGKILL);
    return 0;
}

class DurableTest : public InstallTest {
protected:
    void TearDown() override {
        SetFaultHook(nullptr, nullptr);
        for (const std::string& point : mounted_) ::umount2(point.c_str(), MNT_DETACH);
        InstallTest::TearDown();
    }

    void MakeOldState() {
        RemoveAll(TargetPath());
        MakeDirectories(TargetPath("sub"));
        WriteFile(TargetPath("a.txt"), "old a");
        SetModificationTime(TargetPath("a.txt"), kOld);
        WriteFile(TargetPath("sub/b.txt"), "old b");
        SetModificationTime(TargetPath("sub/b.txt"), kOld);
    }
    void AddNewKit() {
        AddEntry("a.txt", "new a", TimeAt(kNew));
        AddEntry("sub\\b.txt", "new b", TimeAt(kNew));
        for (int i = 0; i < 20; ++i) AddEntry("made\\f" + std::to_string(i), "new", TimeAt(kNew));
    }

    // Runs the job in a child killed at its `killAt`-th step; true when it died so.
    bool RunKilledAt(int killAt) {
        BuildKit();
        const pid_t child = ::fork();
        if (child == 0) {
            int left = killAt;
            SetFaultHook(KillAt, &left);
            (void)RunJob();
            ::_exit(0);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status);
    }

    bool MountTmpfs(const std::string& directory, const char* options) {
        MakeDirectories(directory);
        if (::mount("tmpfs", directory.c_str(), "tmpfs", 0, options) != 0) return false;
        mounted_.push_back(directory);
        return true;
    }

    std::vector<std::string> mounted_;
};

// A name taken by someone else between the job's look and its placing of the
// new file fails the job, and the other file stays as it is.
TEST_F(DurableTest, ANameTakenMeanwhileFailsTheJobAndStays) {
    MakeOldState();
    const TreeSnapshot before = Snapshot(TargetPath());
    AddEntry("a.txt", "new a", TimeAt(kNew));
    AddEntry("fresh.txt", "kit's", TimeAt(kNew));
    StepAction intruder{FaultStep::Close, "fresh.txt", [this] { WriteFile(TargetPath("fresh.txt"), "another program's"); }};
    SetFaultHook(RunAction, &intruder);
    EXPECT_EQ(RunJob(), 87u);
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(job_.failure.error, EEXIST);
    EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath("fresh.txt"));
    EXPECT_FALSE(job_.backupKept);
    TreeSnapshot expected = before;
    expected["fresh.txt"] = Snapshot(TargetPath())["fresh.txt"];
    EXPECT_EQ(ReadFile(TargetPath("fresh.txt")), "another program's");
    EXPECT_EQ(Snapshot(TargetPath()), expected);
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

// A file the job placed and someone then replaced (another inode) is not the
// job's any more: the rollback leaves it, and keeps the original it would have
// put there, saying which one and where: under the new file's temporary name
// where it was exchanged with it, in the staging directory where it was moved.
TEST_F(DurableTest, RollbackRemovesOnlyWhatIsStillTheJobs) {
    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchanged" : "moved aside");
        RemoveAll(RootPath(".k5stp0-t"));
        ResetKit();
        MakeOldState();
        AddEntry("a.txt", "new a", TimeAt(kNew));
        AddEntry("n.txt", "new n", TimeAt(kNew));
        AddEntry("..\\refused", "x", TimeAt(kNew));
        batchSize_ = 1;
        exchangeOriginals_ = exchange;
        onPost_ = [this](const Post& post) {
            if (post.text.find("refused") == std::string::npos) return;
            ASSERT_EQ(ReadFile(TargetPath("a.txt")), "new a");
            // Saved as editors save: a new file renamed over the old one.
            WriteFile(TargetPath("edit.tmp"), "the user's edit");
            ASSERT_EQ(::rename(TargetPath("edit.tmp").c_str(), TargetPath("a.txt").c_str()), 0);
            WriteFile(TargetPath("n.tmp"), "the user's own n");
            ASSERT_EQ(::rename(TargetPath("n.tmp").c_str(), TargetPath("n.txt").c_str()), 0);
        };
        EXPECT_EQ(RunJob(), 13u);
        EXPECT_EQ(ReadFile(TargetPath("a.txt")), "the user's edit");
        EXPECT_EQ(ReadFile(TargetPath("n.txt")), "the user's own n");
        EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), "old b");
        EXPECT_TRUE(job_.backupKept);
        const std::string kept = exchange ? TargetPath(".k5stp0.0") : RootPath(".k5stp0-t/originals/a.txt");
        EXPECT_EQ(job_.notRestored, std::vector<std::string>{exchange ? kept : TargetPath("a.txt")});
        EXPECT_EQ(ReadFile(kept), "old a");
        ASSERT_FALSE(posts_.empty());
        EXPECT_NE(posts_.back().text.find(RootPath(".k5stp0-t/originals/") + "\n" + job_.notRestored[0]),
                  std::string::npos)
            << posts_.back().text;
    }
}

TEST_F(DurableTest, RecoveredFromTheRegistryWithAnotherTemporaryDirectory) {
    MakeOldState();
    const TreeSnapshot before = Snapshot(TargetPath());
    AddNewKit();
    ASSERT_TRUE(RunKilledAt(30));
    ASSERT_TRUE(PathExists(RootPath(".k5stp0-t/journal")));
    ASSERT_EQ(ListNames(RootPath("home/.vxk5/transactions")).size(), 1u);
    MakeDirectories(RootPath("other-tmp"));
    ::setenv("TMPDIR", RootPath("other-tmp").c_str(), 1);
    const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::RolledBack);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_TRUE(ListNames(RootPath("home/.vxk5/transactions")).empty());
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "other-tmp", "t", "tmp"}));
}

// After a reboot a file system can come back under another device number
// (FUSE, btrfs subvolumes, network file systems): the journal's identities
// were all taken on the old one. The same directory, with its staging
// directory beside it, is still recognised and rolled back exactly.
TEST_F(DurableTest, RecoveredWhereTheFileSystemCameBackUnderAnotherDeviceNumber) {
    exchangeOriginals_ = false;  // the originals are moved to the staging directory
    MakeOldState();
    const TreeSnapshot before = Snapshot(TargetPath());
    AddNewKit();
    // Killed once the new files' identities are journalled and the files are
    // in place, at the commit record: 143 steps come before it (the records,
    // the directory, the originals, five per file, the identities' write).
    ASSERT_TRUE(RunKilledAt(144));
    ASSERT_EQ(ReadFile(RootPath(".k5stp0-t/journal")).find("\nC\n"), std::string::npos);
    struct stat target {};
    ASSERT_EQ(::stat(TargetPath().c_str(), &target), 0);
    const std::string device = std::to_string(target.st_dev);
    const std::string renumbered = std::to_string(target.st_dev + 4099);
    const std::string journalPath = RootPath(".k5stp0-t/journal");
    std::string journal = ReadFile(journalPath);
    int changed = 0;
    for (const char* kind : {"\nI ", "\nd ", "\nP "}) {
        const std::string from = kind + device + " ";
        const std::string to = kind + renumbered + " ";
        for (size_t at = journal.find(from); at != std::string::npos; at = journal.find(from, at + to.size())) {
            journal.replace(at, from.size(), to);
            ++changed;
        }
    }
    ASSERT_GT(changed, 2) << "the journal holds the identities of what the job made:\n" << journal;
    WriteFile(journalPath, journal);
    ASSERT_EQ(::chmod(journalPath.c_str(), 0600), 0);

    const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::RolledBack);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

// Without the registry (another HOME, or lost), the next installation into the
// same directory finds the dead one's staging directory beside it, undoes it
// first, and then installs everything: nothing of the new run is undone later.
TEST_F(DurableTest, NextInstallationRecoversTheStagingDirectoryBesideFirst) {
    MakeOldState();
    AddNewKit();
    ASSERT_TRUE(RunKilledAt(40));
    RemoveAll(RootPath("home/.vxk5"));
    // The dead one left a file under its temporary name or its own name;
    // either would otherwise be taken for up to date.
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "new a");
    EXPECT_EQ(ReadFile(TargetPath("made/f19")), "new");
    EXPECT_EQ(job_.counts.replaced, 2u);
    EXPECT_EQ(job_.counts.newFiles, 20u);
    const TreeSnapshot installed = Snapshot(TargetPath());
    EXPECT_TRUE(RecoverInterruptedInstalls().empty());
    EXPECT_EQ(Snapshot(TargetPath()), installed);
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

// A dead installer that had made the template directory itself: the next
// installation into it recovers the dead one's work and keeps the directory
// it is installing into.
TEST_F(DurableTest, RecoveryBeforeAnInstallationKeepsTheDirectoryItInstallsInto) {
    AddNewKit();
    BuildKit();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int left = 30;
        SetFaultHook(KillAt, &left);
        (void)RunJobInto(RootPath("made/templates"));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    RemoveAll(RootPath("home/.vxk5"));
    ASSERT_EQ(RunJobInto(RootPath("made/templates")), 0u);
    EXPECT_EQ(ReadFile(RootPath("made/templates/made/f19")), "new");
    EXPECT_EQ(ListNames(RootPath("made")), std::vector<std::string>{"templates"});
}

// Each file synced on its own (as on FUSE file systems) gives the same result.
TEST_F(DurableTest, SyncingEachFileInstallsAndUpdatesAlike) {
    MakeOldState();
    AddNewKit();
    BuildKit();
    posts_.clear();
    job_ = InstallJob();
    job_.finalPauseMilliseconds = 0;
    job_.durability = DurabilityMode::SyncEachFile;
    InstallJobState state;
    SetupJob(state, FromMultiByte(TargetPath()));
    ASSERT_EQ(RunInstallJob(job_, state, kit_.get()).code, 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "new a");
    EXPECT_EQ(ReadFile(TargetPath("made/f0")), "new");
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

// The template directory swapped for a link before the recovery: the
// recovery reaches it without following links, finds no directory of the
// journal's identity there, and touches nothing, neither the link's target
// nor the moved directory; the originals stay in the staging directory.
TEST_F(DurableTest, RecoveryNeverFollowsALinkSwappedForTheTemplateDirectory) {
    exchangeOriginals_ = false;  // the originals are moved to the staging directory
    MakeOldState();
    AddNewKit();
    ASSERT_TRUE(RunKilledAt(60));
    MakeDirectories(RootPath("outside/sub"));
    WriteFile(RootPath("outside/a.txt"), "the other place's a");
    WriteFile(RootPath("outside/sub/b.txt"), "the other place's b");
    const TreeSnapshot outside = Snapshot(RootPath("outside"));
    ASSERT_EQ(::rename(TargetPath().c_str(), RootPath("moved").c_str()), 0);
    const TreeSnapshot moved = Snapshot(RootPath("moved"));
    ASSERT_EQ(::symlink(RootPath("outside").c_str(), RootPath("t").c_str()), 0);
    const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::BackupKept);
    EXPECT_EQ(Snapshot(RootPath("outside")), outside);
    EXPECT_EQ(Snapshot(RootPath("moved")), moved);
    EXPECT_TRUE(PathExists(RootPath(".k5stp0-t/originals/a.txt")));
}

// An installer waiting for the lock while the one holding it dies: the waiter
// undoes the dead one's half-done work before its own, so its files are all
// written in full, and nothing of its installation is undone later.
TEST_F(DurableTest, WaitingInstallerRecoversTheDeadOneFirst) {
    MakeOldState();
    AddNewKit();
    BuildKit();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        struct Stop {
            int fd;
            int left = 60;
        } stop{ready[1]};
        SetFaultHook(
            [](FaultStep, const std::string&, void* context) {
                Stop& at = *static_cast<Stop*>(context);
                if (--at.left == 0) {
                    (void)::write(at.fd, "x", 1);
                    ::sleep(60);  // holding the lock, half-way, until killed
                }
                return 0;
            },
            &stop);
        (void)RunJob();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    bool waited = false;
    onPost_ = [&](const Post& post) {
        if (post.text != "Waiting for another installation into this directory to finish...") return;
        waited = true;
        ::kill(holder, SIGKILL);
        int status = 0;
        ::waitpid(holder, &status, 0);
    };
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_TRUE(waited);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "new a");
    EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), "new b");
    for (int i = 0; i < 20; ++i) EXPECT_EQ(ReadFile(TargetPath("made/f" + std::to_string(i))), "new") << i;
    EXPECT_EQ(job_.counts.replaced, 2u);
    const TreeSnapshot installed = Snapshot(TargetPath());
    EXPECT_TRUE(RecoverInterruptedInstalls().empty());
    EXPECT_EQ(Snapshot(TargetPath()), installed);
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

// A home directory that is not this user's to write does not stop the
// installation; the staging directory is then found beside the template
// directory by the next installation into it.
TEST_F(DurableTest, UnusableHomeLeavesTheRegistryOut) {
    MakeOldState();
    AddNewKit();
    WriteFile(RootPath("home/.vxk5"), "a file where the registry's directory belongs");
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "new a");
    ::setenv("HOME", "", 1);  // no home directory at all
    ResetKit();
    AddEntry("later.txt", "x", TimeAt(kNew));
    EXPECT_EQ(RunJob(), 0u) << job_.failure.path.c_str();
}

// The same for a staging directory inside the template directory.
TEST_F(DurableTest, NextInstallationRecoversTheStagingDirectoryInsideFirst) {
    const std::string target = RootPath("mounted");
    if (!MountTmpfs(target, "size=4m,mode=0755")) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    WriteFile(target + "/a.txt", "old");
    SetModificationTime(target + "/a.txt", kOld);
    const TreeSnapshot before = Snapshot(target);
    AddNewKit();
    BuildKit();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int left = 30;
        SetFaultHook(KillAt, &left);
        (void)RunJobInto(target + "/");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(PathExists(target + "/.k5stp0/journal"));
    RemoveAll(RootPath("home/.vxk5"));
    ResetKit();
    AddEntry("other.txt", "x", TimeAt(kNew));  // a kit that does not touch a.txt
    ASSERT_EQ(RunJobInto(target + "/"), 0u);
    TreeSnapshot expected = before;
    expected["other.txt"] = Snapshot(target)["other.txt"];
    EXPECT_EQ(Snapshot(target), expected);
}

// A staging directory beside the template directory that is not ours to
// trust (open to others, or reached through a link) is left alone and does
// not stop the installation; one that is ours but whose originals cannot go
// back stops it, with the originals kept.
TEST_F(DurableTest, PlantedStagingDirectoriesAreLeftAloneAndKeptOnesStopTheJob) {
    MakeOldState();
    MakeDirectories(RootPath("elsewhere/originals"));
    WriteFile(RootPath("elsewhere/originals/a.txt"), "planted a");
    ASSERT_EQ(::chmod(RootPath("elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(RootPath("elsewhere").c_str(), RootPath(".k5stp0-t").c_str()), 0);
    MakeDirectories(RootPath(".k5stp1-t/originals"));
    ASSERT_EQ(::chmod(RootPath(".k5stp1-t").c_str(), 0777), 0);
    AddEntry("a.txt", "new a", TimeAt(kNew));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "new a");
    EXPECT_EQ(ReadFile(RootPath("elsewhere/originals/a.txt")), "planted a");
    EXPECT_TRUE(IsDirectory(RootPath(".k5stp1-t/originals")));
}

// An original missing from the staging directory (the place is empty and
// nothing to restore) is reported, and the staging directory and journal are
// kept, by the recovery at start and by the next installation.
TEST_F(DurableTest, MissingOriginalIsReportedAndKept) {
    exchangeOriginals_ = false;  // the originals are moved to the staging directory
    MakeOldState();
    AddNewKit();
    ASSERT_TRUE(RunKilledAt(60));
    ASSERT_TRUE(PathExists(RootPath(".k5stp0-t/originals/a.txt")));
    ASSERT_EQ(::unlink(RootPath(".k5stp0-t/originals/a.txt").c_str()), 0);
    const std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::BackupKept);
    EXPECT_TRUE(RecoveryFailed(reports[0]));
    EXPECT_EQ(reports[0].notRestored, std::vector<WString>{FromMultiByte(TargetPath("a.txt"))});
    const std::string message = ToMultiByteString(RecoveryMessage(reports[0]));
    EXPECT_NE(message.find("The originals are kept in: " + RootPath(".k5stp0-t/originals/")), std::string::npos)
        << message;
    EXPECT_NE(message.find("These original files could not be put back:\n" + TargetPath("a.txt")), std::string::npos)
        << message;
    EXPECT_TRUE(PathExists(RootPath(".k5stp0-t/journal")));
    EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), "old b");  // the rest is back
    EXPECT_EQ(ListNames(RootPath("home/.vxk5/transactions")).size(), 1u);

    // The next installation into that directory does not build on it.
    ResetKit();
    AddEntry("c.txt", "c", TimeAt(kNew));
    EXPECT_NE(RunJob(), 0u);
    EXPECT_FALSE(PathExists(TargetPath("c.txt")));
    EXPECT_TRUE(PathExists(RootPath(".k5stp0-t/journal")));
}

// The lock covers the directories above: an installer into a directory inside
// another one's template directory waits for it, and the other way round.
TEST_F(DurableTest, NestedTemplateDirectoriesExcludeEachOther) {
    for (const bool outerHeld : {true, false}) {
        DirectoryLock other;
        const std::string held = outerHeld ? RootPath("") : TargetPath("inner");
        MakeDirectories(held);
        ASSERT_EQ(other.Open(held), 0);
        ASSERT_TRUE(other.TryLock());
        ResetKit();
        AddEntry("a.txt", "x", TimeAt(kNew));
        bool waited = false;
        onPost_ = [&](const Post& post) {
            if (post.text != "Waiting for another installation into this directory to finish...") return;
            waited = true;
            other.Release();
        };
        ASSERT_EQ(RunJobInto(outerHeld ? TargetPath() : RootPath("")), 0u) << outerHeld;
        EXPECT_TRUE(waited) << outerHeld;
        onPost_ = nullptr;
    }
    // Unrelated directories side by side do not wait for each other.
    DirectoryLock sibling;
    MakeDirectories(RootPath("sibling"));
    ASSERT_EQ(sibling.Open(RootPath("sibling")), 0);
    ASSERT_TRUE(sibling.TryLock());
    ResetKit();
    AddEntry("b.txt", "y", TimeAt(kNew));
    onPost_ = [](const Post& post) { EXPECT_EQ(post.text.find("Waiting"), std::string::npos); };
    ASSERT_EQ(RunJob(), 0u);
}

// Many directories under a low limit of open descriptors: the job keeps a
// bounded number open, and its rollback completes under the same limit.
TEST_F(DurableTest, ManyDirectoriesUnderALowDescriptorLimit) {
    constexpr int kDirectories = 3000;
    for (int i = 0; i < kDirectories; ++i) {
        AddEntry("d" + std::to_string(i % 300) + "\\e" + std::to_string(i) + "\\f", "x", TimeAt(kNew));
    }
    for (const bool fail : {true, false}) {
        if (fail) AddEntry("..\\refused", "x", TimeAt(kNew));
        BuildKit();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const struct rlimit limit = {64, 64};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(100);
            const uint32_t code = RunJob();
            ::_exit(code == (fail ? 13u : 0u) ? 0 : 101);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "fail " << fail;
        if (fail) {
            EXPECT_TRUE(ListNames(TargetPath()).empty());
            ResetKit();
            for (int i = 0; i < kDirectories; ++i) {
                AddEntry("d" + std::to_string(i % 300) + "\\e" + std::to_string(i) + "\\f", "x", TimeAt(kNew));
            }
        } else {
            EXPECT_EQ(ListNames(TargetPath()).size(), 300u);
            EXPECT_EQ(ReadFile(TargetPath("d299/e2999/f")), "x");
        }
    }
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

// A name that fits below the template directory but not below the staging
// directory's originals/ is refused before anything changes.
TEST_F(DurableTest, NameTooLongForTheStagingPathIsRefusedBeforeTheFirstChange) {
    // A template directory deep enough that a name can fit below it, ten
    // bytes short of PATH_MAX, and not below the staging directory.
    std::string deep = RootPath("");
    const std::string component(200, 'p');
    while (deep.size() + component.size() + 1 < PATH_MAX - 1000) deep += "/" + component;
    MakeDirectories(deep);
    WriteFile(deep + "/a.txt", "old");
    SetModificationTime(deep + "/a.txt", kOld);
    std::string name;
    while (deep.size() + 1 + name.size() + 201 < PATH_MAX - 10) name += std::string(200, 'n') + "\\";
    name += std::string(PATH_MAX - 10 - deep.size() - 1 - name.size(), 'm');
    ASSERT_LT(deep.size() + 1 + name.size(), static_cast<size_t>(PATH_MAX));
    ASSERT_GE(LongestStagingPrefix(deep + "/") + name.size(), static_cast<size_t>(PATH_MAX));
    AddEntry("a.txt", "new", TimeAt(kNew));
    AddEntry(name, "x", TimeAt(kNew));
    EXPECT_EQ(RunJobInto(deep + "/"), ENTRY_NAME_REFUSAL_CODE);
    EXPECT_EQ(job_.failure.error, ENAMETOOLONG);
    EXPECT_EQ(ReadFile(deep + "/a.txt"), "old");
    ASSERT_FALSE(posts_.empty());
    EXPECT_EQ(posts_.back().percent, 0u);
}

}  // namespace
