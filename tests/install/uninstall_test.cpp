// Taking installations back: each in turn by its record, what the user had
// or changed kept, the record trusted only when it is the user's, and the
// transaction holding against failures and kills.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "base/conversion.h"
#include "install/recovery.h"
#include "install/uninstall.h"
#include "platform/fault_injection.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

void AppendFile(const std::string& path, const std::string& more) {
    std::ofstream(path, std::ios::app | std::ios::binary) << more;
}

constexpr int64_t kFirst = 1262304000;   // 2010
constexpr int64_t kSecond = 1293840000;  // 2011

UninstallResult Uninstall(const std::string& directory, bool dryRun = false,
                          std::vector<std::string>* lines = nullptr) {
    UninstallOptions options;
    options.directory = FromMultiByte(directory);
    options.dryRun = dryRun;
    options.firstWorkingNumber = 0;
    if (lines != nullptr) options.dryRunLine = [lines](const std::string& line) { lines->push_back(line); };
    return RunUninstall(options);
}

// Nothing named like a staging directory beside or inside `directory`.
std::vector<std::string> StagingNames(const std::string& directory) {
    std::vector<std::string> found;
    for (const std::string& name : ListNames(directory)) {
        if (name.rfind(".k5stp", 0) == 0) found.push_back(name);
    }
    return found;
}

// Files only, with their bytes: what an uninstall is judged by.
TreeSnapshot FilesOf(const TreeSnapshot& tree) {
    TreeSnapshot files;
    for (const auto& [path, entry] : tree) {
        if (entry.kind != 'd') files[path] = entry;
    }
    return files;
}

class UninstallTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        keepRecord_ = true;
    }
    void TearDown() override {
        SetFaultHook(nullptr, nullptr);
        InstallTest::TearDown();
    }
    void InstallFirst() {
        ResetKit();
        AddEntry("a.txt", "first a", TimeAt(kFirst));
        AddEntry("sub\\b.txt", "first b", TimeAt(kFirst));
        AddEntry("sub\\deep\\c.txt", "first c", TimeAt(kFirst));
        ASSERT_EQ(RunJob(), 0u);
        ASSERT_TRUE(job_.recordWritten);
    }
    void InstallSecond() {
        ResetKit();
        AddEntry("a.txt", "second a", TimeAt(kSecond));
        AddEntry("d.txt", "second d", TimeAt(kSecond));
        AddEntry("sub\\new\\e.txt", "second e", TimeAt(kSecond));
        ASSERT_EQ(RunJob(), 0u);
        ASSERT_TRUE(job_.recordWritten);
    }
    std::string RecordsPath() const { return RootPath("home") + "/.vxk5/installations"; }
};

TEST_F(UninstallTest, EachInstallationIsTakenBackInTurnAndWhatTheUserHadStays) {
    MakeDirectories(TargetPath());
    WriteFile(TargetPath("mine.txt"), "the user's own");
    const TreeSnapshot before = Snapshot(TargetPath());
    InstallFirst();
    // The user's mode and a hard link of the user's to the first a.txt.
    ASSERT_EQ(::chmod(TargetPath("a.txt").c_str(), 0640), 0);
    ASSERT_EQ(::link(TargetPath("a.txt").c_str(), TargetPath("a-link").c_str()), 0);
    const TreeSnapshot afterFirst = Snapshot(TargetPath());
    InstallSecond();
    EXPECT_EQ(job_.keptBytes, std::string("first a").size());
    EXPECT_EQ(ListNames(RootPath("")), (std::vector<std::string>{".k5kept-t", "home", "kits", "t", "tmp"}));

    UninstallResult result = Uninstall(TargetPath());
    ASSERT_EQ(result.outcome, UninstallOutcome::Uninstalled) << result.failure.error << " " << result.failure.path.c_str();
    EXPECT_EQ(result.removed, 3u);
    EXPECT_EQ(result.restored, 1u);  // the first a.txt, the very file
    EXPECT_EQ(result.originalsNotKept, 0u);
    EXPECT_EQ(result.directoriesRemoved, 1u);
    EXPECT_TRUE(result.keptChanged.empty());
    EXPECT_EQ(Snapshot(TargetPath()), afterFirst);
    struct stat restored {}, linked {};
    ASSERT_EQ(::stat(TargetPath("a.txt").c_str(), &restored), 0);
    ASSERT_EQ(::stat(TargetPath("a-link").c_str(), &linked), 0);
    EXPECT_EQ(restored.st_ino, linked.st_ino);
    EXPECT_EQ(ListNames(RootPath("")), (std::vector<std::string>{"home", "kits", "t", "tmp"}));  // nothing is kept now

    ASSERT_EQ(::unlink(TargetPath("a-link").c_str()), 0);
    result = Uninstall(TargetPath());
    ASSERT_EQ(result.outcome, UninstallOutcome::Uninstalled);
    EXPECT_EQ(result.removed, 3u);
    EXPECT_EQ(result.restored, 0u);
    EXPECT_EQ(result.directoriesRemoved, 2u);
    EXPECT_FALSE(result.templateRemoved);  // it holds the user's own file
    EXPECT_EQ(Snapshot(TargetPath()), before);

    EXPECT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::NothingToUninstall);
    EXPECT_TRUE(ListNames(RecordsPath()).empty());
}

// One generation of originals is kept: the next installation that replaces
// anything purges it, one that only adds leaves it to the one before.
TEST_F(UninstallTest, TheOriginalsOfOneInstallationAreKeptUntilTheNextReplacesAny) {
    MakeDirectories(TargetPath());
    WriteFile(TargetPath("a.txt"), "the user's a");
    SetModificationTime(TargetPath("a.txt"), kFirst - 100);
    ASSERT_EQ(::chmod(TargetPath("a.txt").c_str(), 0604), 0);
    const TreeSnapshot before = Snapshot(TargetPath());
    InstallFirst();
    ResetKit();
    AddEntry("only-new.txt", "added", TimeAt(kSecond));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(job_.keptBytes, 0u);

    std::vector<std::string> lines;
    ASSERT_EQ(Uninstall(TargetPath()).restored, 0u);
    UninstallResult result = Uninstall(TargetPath(), true, &lines);
    EXPECT_EQ(result.restored, 1u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "restore " + TargetPath("a.txt")), lines.end());
    result = Uninstall(TargetPath());
    EXPECT_EQ(result.restored, 1u);
    EXPECT_EQ(Snapshot(TargetPath()), before);

    // Replaced by the first and again by the second: only the second's are kept.
    InstallFirst();
    InstallSecond();
    ASSERT_EQ(Uninstall(TargetPath()).restored, 1u);  // the first's a.txt
    result = Uninstall(TargetPath());
    EXPECT_EQ(result.restored, 0u);
    EXPECT_EQ(result.originalsNotKept, 1u);  // the user's a.txt: its generation went with the second
    EXPECT_EQ(FilesOf(Snapshot(TargetPath())), TreeSnapshot{});
}

TEST_F(UninstallTest, FilesChangedSinceAreKeptAndListedAndTheRestGoes) {
    for (int i = 0; i < 6; ++i) AddEntry("f" + std::to_string(i), "kit's " + std::to_string(i), TimeAt(kFirst));
    ASSERT_EQ(RunJob(), 0u);
    AppendFile(TargetPath("f0"), " and the user's line");                   // edited
    WriteFile(TargetPath("f1.new"), "the user's");                           // replaced
    ASSERT_EQ(::rename(TargetPath("f1.new").c_str(), TargetPath("f1").c_str()), 0);
    ASSERT_EQ(::unlink(TargetPath("f2").c_str()), 0);                        // removed
    SetModificationTime(TargetPath("f3"), kFirst + 1);                       // touched
    WriteFile(TargetPath("f4"), "kit's 9");                                  // rewritten, same size
    SetModificationTime(TargetPath("f4"), kFirst);                           // and its time set back
    const TreeSnapshot changed = Snapshot(TargetPath());

    const UninstallResult result = Uninstall(TargetPath());
    ASSERT_EQ(result.outcome, UninstallOutcome::Uninstalled);
    // A file rewritten in place with its size and time set back is the one
    // change that cannot be told: it goes.
    EXPECT_EQ(result.removed, 2u);
    EXPECT_EQ(result.missing, 1u);
    EXPECT_EQ(result.keptChanged, (std::vector<std::string>{TargetPath("f0"), TargetPath("f1"), TargetPath("f3")}));
    TreeSnapshot expected = changed;
    expected.erase("f4");
    expected.erase("f5");
    EXPECT_EQ(Snapshot(TargetPath()), expected);
}

TEST_F(UninstallTest, ADryRunSaysWhatWouldGoAndChangesNothing) {
    const std::string made = RootPath("made/t") + "/";
    AddEntry("x\\y.txt", "kit's", TimeAt(kFirst));
    AddEntry("z.txt", "kit's", TimeAt(kFirst));
    ASSERT_EQ(RunJobInto(made), 0u);
    AppendFile(made + "z.txt", "!");
    const TreeSnapshot installed = Snapshot(RootPath("made"));
    const std::vector<std::string> records = ListNames(RecordsPath());

    std::vector<std::string> lines;
    const UninstallResult dry = Uninstall(made, true, &lines);
    EXPECT_EQ(dry.outcome, UninstallOutcome::Uninstalled);
    EXPECT_EQ(lines, (std::vector<std::string>{"remove " + made + "x/y.txt", "keep-changed " + made + "z.txt",
                                               "remove-dir " + made + "x"}));
    EXPECT_EQ(Snapshot(RootPath("made")), installed);
    EXPECT_EQ(ListNames(RecordsPath()), records);

    // The real one, and the template directory the installation made goes
    // once nothing is left in it.
    ASSERT_EQ(Uninstall(made).outcome, UninstallOutcome::Uninstalled);
    EXPECT_FALSE(Uninstall(made).outcome == UninstallOutcome::Failed);
    ASSERT_EQ(::unlink((made + "z.txt").c_str()), 0);
    ResetKit();
    AddEntry("w.txt", "kit's", TimeAt(kFirst));
    ASSERT_EQ(RunJobInto(RootPath("made/u") + "/"), 0u);
    const UninstallResult gone = Uninstall(RootPath("made/u"));
    EXPECT_TRUE(gone.templateRemoved);
    EXPECT_EQ(ListNames(RootPath("made")), (std::vector<std::string>{"t"}));
}

TEST_F(UninstallTest, ARecordNotToTrustOrOfAnotherDirectoryChangesNothing) {
    InstallFirst();
    const TreeSnapshot installed = Snapshot(TargetPath());
    const std::vector<std::string> keys = ListNames(RecordsPath());
    ASSERT_EQ(keys.size(), 1u);
    const std::string directory = RecordsPath() + "/" + keys[0];
    const std::string record = directory + "/" + ListNames(directory)[0];

    ASSERT_EQ(::chmod(record.c_str(), 0666), 0);  // writable by anyone
    UninstallResult result = Uninstall(TargetPath());
    EXPECT_EQ(result.outcome, UninstallOutcome::Failed);
    EXPECT_EQ(result.recordError, EPERM);
    EXPECT_EQ(Snapshot(TargetPath()), installed);
    ASSERT_EQ(::chmod(record.c_str(), 0600), 0);

    if (::geteuid() == 0) {  // another user's
        ASSERT_EQ(::chown(record.c_str(), 65534, 65534), 0);
        EXPECT_EQ(Uninstall(TargetPath()).recordError, EPERM);
        EXPECT_EQ(Snapshot(TargetPath()), installed);
        ASSERT_EQ(::chown(record.c_str(), 0, 0), 0);
    }

    // The directory swapped for a link to another one, or for another
    // directory of the same name: no record names it.
    ASSERT_EQ(::rename(TargetPath().c_str(), RootPath("moved").c_str()), 0);
    ASSERT_EQ(::symlink(RootPath("elsewhere").c_str(), RootPath("t").c_str()), 0);
    MakeDirectories(RootPath("elsewhere"));
    EXPECT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::NothingToUninstall);
    EXPECT_EQ(Snapshot(RootPath("moved")), installed);

    // Moved, it is still the same directory, and is taken back where it is now.
    EXPECT_EQ(Uninstall(RootPath("moved")).outcome, UninstallOutcome::Uninstalled);
    EXPECT_TRUE(FilesOf(Snapshot(RootPath("moved"))).empty());
}

int FailSecondTakeOut(FaultStep step, const std::string&, void* context) {
    int& seen = *static_cast<int*>(context);
    return step == FaultStep::MoveToBackup && ++seen == 2 ? EIO : 0;
}

TEST_F(UninstallTest, AFailureTakingOutPutsEveryFileBackAndKeepsTheRecord) {
    InstallFirst();
    const TreeSnapshot installed = Snapshot(TargetPath());
    int seen = 0;
    SetFaultHook(FailSecondTakeOut, &seen);
    const UninstallResult failed = Uninstall(TargetPath());
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(failed.outcome, UninstallOutcome::Failed);
    EXPECT_EQ(failed.failure.error, EIO);
    EXPECT_EQ(Snapshot(TargetPath()), installed);
    EXPECT_TRUE(StagingNames(RootPath("")).empty());
    EXPECT_TRUE(StagingNames(TargetPath()).empty());
    EXPECT_EQ(Uninstall(TargetPath()).removed, 3u);  // the record stands, and serves
}

struct JournalWrites {
    int seen = 0;
    int failAt = 0;  // 0: count only
    bool kill = false;
};

int FailAJournalWrite(FaultStep step, const std::string&, void* context) {
    JournalWrites& writes = *static_cast<JournalWrites*>(context);
    if (step != FaultStep::JournalWrite || ++writes.seen != writes.failAt) return 0;
    if (writes.kill) ::kill(::getpid(), SIGKILL);
    return EIO;
}

// The record is on the disk before the commit record: an installation whose
// commit fails, or which dies before it, leaves none behind.
TEST_F(UninstallTest, AnInstallationThatNeverCommitsLeavesNoRecord) {
    JournalWrites counted;
    SetFaultHook(FailAJournalWrite, &counted);
    InstallFirst();
    SetFaultHook(nullptr, nullptr);
    ASSERT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::Uninstalled);
    const TreeSnapshot before = Snapshot(RootPath(""));

    JournalWrites failing;
    failing.failAt = counted.seen;  // the commit record's
    SetFaultHook(FailAJournalWrite, &failing);
    EXPECT_NE(RunJob(), 0u);
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(Snapshot(RootPath("")), before);
    EXPECT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::NothingToUninstall);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        JournalWrites killing;
        killing.failAt = counted.seen;
        killing.kill = true;
        SetFaultHook(FailAJournalWrite, &killing);
        (void)RunJob();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(RecoverInterruptedInstalls().size(), 1u);
    EXPECT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::NothingToUninstall);
    TreeSnapshot after = Snapshot(RootPath(""));
    after.erase("home/.vxk5/transactions");  // the dead one's registry, empty: the recovery leaves it
    EXPECT_EQ(after, before);
}

struct Killer {
    int steps = 0;
    int killAt = 0;
};

int CountOrKill(FaultStep, const std::string&, void* context) {
    Killer& killer = *static_cast<Killer*>(context);
    if (++killer.steps == killer.killAt) ::kill(::getpid(), SIGKILL);
    return 0;
}

TEST_F(UninstallTest, KilledAtEveryStepIsBeforeOrAfterAtTheNextStart) {
    for (int i = 0; i < 40; ++i) AddEntry("d" + std::to_string(i % 4) + "\\f" + std::to_string(i), "kit's", TimeAt(kFirst));
    BuildKit();
    const std::string home = RootPath("home");
    auto install = [&] {
        RemoveAll(TargetPath());
        RemoveAll(RootPath(".k5kept-t"));
        RemoveAll(home);
        MakeDirectories(home);
        MakeDirectories(TargetPath("d1"));
        WriteFile(TargetPath("mine.txt"), "the user's own");
        SetModificationTime(TargetPath("mine.txt"), kFirst);
        // Two of the user's files the kit replaces: they come back with the uninstall.
        WriteFile(TargetPath("d1/f1"), "the user's f1");
        WriteFile(TargetPath("d1/f5"), "the user's f5");
        SetModificationTime(TargetPath("d1/f1"), kFirst - 100);
        SetModificationTime(TargetPath("d1/f5"), kFirst - 100);
        ASSERT_EQ(RunJob(), 0u);
        ASSERT_EQ(job_.keptBytes, 26u);
    };
    install();
    const TreeSnapshot installed = Snapshot(TargetPath());
    Killer counter;
    SetFaultHook(CountOrKill, &counter);
    ASSERT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::Uninstalled);
    SetFaultHook(nullptr, nullptr);
    const TreeSnapshot uninstalled = FilesOf(Snapshot(TargetPath()));
    ASSERT_GT(counter.steps, 40);
    ASSERT_EQ(uninstalled.at("d1/f5").bytes, "the user's f5");

    for (int killAt = 1; killAt <= counter.steps; killAt += 3) {
        install();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Killer killer;
            killer.killAt = killAt;
            SetFaultHook(CountOrKill, &killer);
            (void)Uninstall(TargetPath());
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "step " << killAt;
        for (const RecoveryReport& report : RecoverInterruptedInstalls()) {
            EXPECT_EQ(report.outcome == RecoveryReport::Outcome::RolledBack ||
                          report.outcome == RecoveryReport::Outcome::Completed,
                      true)
                << "step " << killAt;
        }
        const TreeSnapshot after = Snapshot(TargetPath());
        EXPECT_TRUE(after == installed || FilesOf(after) == uninstalled) << "killed at step " << killAt;
        EXPECT_TRUE(StagingNames(RootPath("")).empty()) << "step " << killAt;
        EXPECT_TRUE(StagingNames(TargetPath()).empty()) << "step " << killAt;
        // Whatever the kill left, the next uninstall ends it.
        EXPECT_NE(Uninstall(TargetPath()).outcome, UninstallOutcome::Failed) << "step " << killAt;
        EXPECT_EQ(FilesOf(Snapshot(TargetPath())), uninstalled) << "step " << killAt;
    }
}

}  // namespace
