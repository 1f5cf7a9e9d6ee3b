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
#include <functional>

#include "base/conversion.h"
#include "install/installation_record.h"
#include "install/journal_format.h"
#include "install/record_store.h"
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

class UninstallTest : public RecordedInstallTest {
protected:
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

// What happens at the exchange that brings an original back, for a.txt.
struct AtTheExchange {
    int seen = 0;
    bool cannotExchange = false;  // the file system refuses (EINVAL)
    bool userReplaces = false;    // the user puts a file of their own there just before
};

int AtTheExchangeOfA(FaultStep step, const std::string& path, void* context) {
    AtTheExchange& at = *static_cast<AtTheExchange*>(context);
    const std::string name = "/a.txt";
    if (step != FaultStep::TakeBack || path.size() < name.size() ||
        path.compare(path.size() - name.size(), name.size(), name) != 0 || ++at.seen != 2) {
        return 0;  // the link comes first, then the exchange
    }
    if (at.userReplaces) {
        WriteFile(path + ".mine", "the user's, written meanwhile");
        if (::rename((path + ".mine").c_str(), path.c_str()) != 0) return EIO;
    }
    return at.cannotExchange ? EINVAL : 0;
}

// The original comes back where the file system cannot exchange two names
// too; and a file the user puts in the place just before the exchange is
// never lost: it goes back, and is kept.
TEST_F(UninstallTest, AnOriginalComesBackWithoutAnExchangeAndNeverOverTheUsersFile) {
    InstallFirst();
    const TreeSnapshot afterFirst = Snapshot(TargetPath());
    InstallSecond();
    AtTheExchange refusing;
    refusing.cannotExchange = true;
    SetFaultHook(AtTheExchangeOfA, &refusing);
    UninstallResult result = Uninstall(TargetPath());
    SetFaultHook(nullptr, nullptr);
    ASSERT_EQ(result.outcome, UninstallOutcome::Uninstalled);
    EXPECT_EQ(result.restored, 1u);
    EXPECT_EQ(Snapshot(TargetPath()), afterFirst);

    InstallSecond();
    AtTheExchange meanwhile;
    meanwhile.userReplaces = true;
    SetFaultHook(AtTheExchangeOfA, &meanwhile);
    result = Uninstall(TargetPath());
    SetFaultHook(nullptr, nullptr);
    ASSERT_EQ(result.outcome, UninstallOutcome::Uninstalled);
    EXPECT_EQ(result.restored, 0u);
    EXPECT_EQ(result.keptChanged, (std::vector<std::string>{TargetPath("a.txt")}));
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "the user's, written meanwhile");
    EXPECT_TRUE(StagingNames(TargetPath()).empty());
    EXPECT_EQ(ListNames(TargetPath()), (std::vector<std::string>{"a.txt", "sub"}));  // no working name left
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

// The record read for its summary (by an installation that keeps the
// originals in place of those the latest one kept, and by a recovery) is
// judged as the whole record is, in pieces of any size, and keeps no file.
TEST_F(UninstallTest, ARecordReadForItsSummaryIsJudgedAsTheWholeRecordIs) {
    InstallFirst();
    InstallSecond();
    struct stat status {};
    ASSERT_EQ(::stat(TargetPath().c_str(), &status), 0);
    const EntryIdentity identity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    InstallationRecord whole;
    InstallationRecord summary;
    std::string wholeName;
    std::string summaryName;
    ASSERT_EQ(ReadLatestRecord(identity, whole, wholeName), 0);
    ASSERT_EQ(ReadLatestRecordSummary(identity, summary, summaryName), 0);
    EXPECT_EQ(summaryName, wholeName);
    EXPECT_NE(summary.kept.inode, 0u);
    EXPECT_EQ(summary.kept, whole.kept);
    EXPECT_EQ(summary.target, whole.target);
    EXPECT_EQ(summary.when, whole.when);
    EXPECT_EQ(summary.kitSize, whole.kitSize);
    EXPECT_EQ(whole.files.size(), 3u);
    EXPECT_TRUE(summary.files.empty() && summary.directories.empty());

    const std::string key = RecordsPath() + "/" + ListNames(RecordsPath())[0];
    const std::string text = ReadFile(key + "/" + wholeName);
    const auto summarised = [](const std::string& bytes, size_t piece) {
        RecordSummaryReader reader;
        InstallationRecord record;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            if (!reader.Feed(std::string_view(bytes).substr(at, piece))) return false;
        }
        return reader.Finish(record);
    };
    EXPECT_TRUE(summarised(text, 1));
    EXPECT_TRUE(summarised(text, 7));
    const size_t end = text.rfind("E\n");
    const size_t file = text.find("\nf ");
    ASSERT_NE(end, std::string::npos);
    ASSERT_NE(file, std::string::npos);
    std::string climbing = text;
    climbing.insert(file + 1, "f 1 2 3 n ../outside\n");
    for (const std::string& damaged : {text.substr(0, end), text + "E\n", text.substr(0, text.size() - 1), climbing,
                                       "vxk5-record 2" + text.substr(text.find('\n'))}) {
        InstallationRecord record;
        EXPECT_FALSE(ParseRecord(damaged, record));
        EXPECT_FALSE(summarised(damaged, 1));
        EXPECT_FALSE(summarised(damaged, 7));
    }
}

int FailSecondTakeBack(FaultStep step, const std::string&, void* context) {
    int& seen = *static_cast<int*>(context);
    return step == FaultStep::TakeBack && ++seen == 2 ? EIO : 0;
}

int FailEveryJournalWrite(FaultStep step, const std::string&, void*) {
    return step == FaultStep::JournalWrite ? EIO : 0;
}

// Nothing changes before the commit record: a failure there leaves every
// file. The files are taken back after it: a change that fails there leaves
// that file, is reported, and leaves the record, so that the next uninstall
// finishes the work.
TEST_F(UninstallTest, AFailureBeforeTheCommitChangesNothingAndOneAfterIsFinishedByTheNext) {
    InstallFirst();
    const TreeSnapshot installed = Snapshot(TargetPath());
    SetFaultHook(FailEveryJournalWrite, nullptr);
    const UninstallResult refused = Uninstall(TargetPath());
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(refused.outcome, UninstallOutcome::Failed);
    EXPECT_EQ(Snapshot(TargetPath()), installed);

    int seen = 0;
    SetFaultHook(FailSecondTakeBack, &seen);
    const UninstallResult failed = Uninstall(TargetPath());
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(failed.outcome, UninstallOutcome::Failed);
    EXPECT_EQ(failed.failure.error, EIO);
    EXPECT_EQ(failed.removed, 2u);
    EXPECT_EQ(FilesOf(Snapshot(TargetPath())).size(), 1u);
    EXPECT_TRUE(StagingNames(RootPath("")).empty());
    EXPECT_TRUE(StagingNames(TargetPath()).empty());
    const UninstallResult finished = Uninstall(TargetPath());  // the record stands, and serves
    EXPECT_EQ(finished.outcome, UninstallOutcome::Uninstalled);
    EXPECT_EQ(finished.removed, 1u);
    EXPECT_EQ(finished.missing, 2u);
    EXPECT_TRUE(FilesOf(Snapshot(TargetPath())).empty());
    EXPECT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::NothingToUninstall);
}

// A directory of its files that this process may not change is found before
// the commit record: nothing is taken back.
TEST_F(UninstallTest, ADirectoryItMayNotChangeIsFoundBeforeAnythingIsTakenBack) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may change any directory";
    InstallFirst();
    const TreeSnapshot installed = Snapshot(TargetPath());
    ASSERT_EQ(::chmod(TargetPath("sub").c_str(), 0555), 0);
    const UninstallResult refused = Uninstall(TargetPath());
    ASSERT_EQ(::chmod(TargetPath("sub").c_str(), 0755), 0);
    EXPECT_EQ(refused.outcome, UninstallOutcome::Failed);
    EXPECT_EQ(refused.failure.error, EACCES);
    EXPECT_EQ(Snapshot(TargetPath()), installed);
    EXPECT_EQ(Uninstall(TargetPath()).outcome, UninstallOutcome::Uninstalled);
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

int KillAtTheFirstTakeBack(FaultStep step, const std::string&, void*) {
    if (step == FaultStep::TakeBack) ::kill(::getpid(), SIGKILL);
    return 0;
}

// An uninstall killed after its commit record is finished by the next
// one's recovery, which then has nothing more to take back: not the
// installation before, which nobody asked for.
TEST_F(UninstallTest, AnUninstallFinishedByTheNextOnesRecoveryIsAllThatOneDoes) {
    InstallFirst();
    InstallSecond();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SetFaultHook(KillAtTheFirstTakeBack, nullptr);
        (void)Uninstall(TargetPath());
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const UninstallResult next = Uninstall(TargetPath());
    EXPECT_EQ(next.outcome, UninstallOutcome::Uninstalled);
    ASSERT_EQ(next.recovered.size(), 1u);
    EXPECT_EQ(next.recovered[0].outcome, RecoveryReport::Outcome::Completed);
    EXPECT_EQ(next.removed, 0u);
    EXPECT_TRUE(next.keptChanged.empty());  // the originals back in place are no changes of the user's
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "first a");  // the second taken back, the first still there
    EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), "first b");
    EXPECT_EQ(::access(TargetPath("d.txt").c_str(), F_OK), -1);
    EXPECT_EQ(Uninstall(TargetPath()).removed, 3u);
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

    for (int killAt = 1; killAt <= counter.steps; ++killAt) {
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
        // Whatever the kill left, the next uninstall ends it (a staging
        // directory killed before its journal and registry entry included).
        EXPECT_NE(Uninstall(TargetPath()).outcome, UninstallOutcome::Failed) << "step " << killAt;
        EXPECT_EQ(FilesOf(Snapshot(TargetPath())), uninstalled) << "step " << killAt;
        EXPECT_TRUE(StagingNames(RootPath("")).empty()) << "step " << killAt;
        EXPECT_TRUE(StagingNames(TargetPath()).empty()) << "step " << killAt;
    }
}

}  // namespace

namespace {

// Killed as it is about to write its commit record: once what it made is
// journalled with its identities.
int KillAtTheCommitRecord(FaultStep step, const std::string& path, void*) {
    if (step == FaultStep::JournalWrite && ReadFile(path).find("\nP ") != std::string::npos) {
        ::kill(::getpid(), SIGKILL);
    }
    return 0;
}

// Every identity on `device` in `text` (a journal's or a record's lines), on
// `renumbered` instead.
std::string Renumbered(std::string text, const std::string& device, const std::string& renumbered) {
    for (const char* kind : {"\nI ", "\nd ", "\nP ", "\nZ ", "\nS ", "\nG "}) {
        const std::string from = kind + device + " ";
        const std::string to = kind + renumbered + " ";
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

}  // namespace

// A file system can come back under another device number after a reboot
// (FUSE, btrfs subvolumes, network file systems). A journal and a record
// written before it hold the old one: an installation cut while keeping the
// originals it replaced still keeps them, and an uninstall cut after its
// commit record is still finished, its files judged as placed.
TEST_F(UninstallTest, WorkCutAfterTheCommitIsFinishedWhereTheFileSystemCameBackUnderAnotherDeviceNumber) {
    struct stat target {};
    const auto killedIn = [&](FaultHook kill, const std::function<void()>& run) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SetFaultHook(kill, nullptr);
            run();
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
    };
    // The journal, when there is one, and the records on the device numbered `from`, on `to`.
    const auto renumber = [&](int64_t from, int64_t to) {
        const std::string device = std::to_string(from), renumbered = std::to_string(to);
        const std::string journal = RootPath(".k5stp0-t/journal");
        if (PathExists(journal)) {
            WriteFile(journal, Renumbered(ReadFile(journal), device, renumbered));
            ASSERT_EQ(::chmod(journal.c_str(), 0600), 0);
        }
        const std::string key = std::to_string(target.st_ino);
        const std::string records = RecordsPath() + "/" + renumbered + "-" + key;
        ASSERT_EQ(::rename((RecordsPath() + "/" + device + "-" + key).c_str(), records.c_str()), 0);
        for (const std::string& name : ListNames(records)) {
            WriteFile(records + "/" + name, Renumbered(ReadFile(records + "/" + name), device, renumbered));
        }
    };
    InstallFirst();
    // The second installation, cut just after its commit record, before it kept what it replaced.
    ResetKit();
    AddEntry("a.txt", "second a", TimeAt(kSecond));
    AddEntry("d.txt", "second d", TimeAt(kSecond));
    killedIn(KillAtTheCommitRecord, [&] { (void)RunJob(); });
    const std::string journal = RootPath(".k5stp0-t/journal");
    ASSERT_EQ(ReadFile(journal).find("\nC\n"), std::string::npos);
    AppendFile(journal, JournalCommitLine());
    ASSERT_EQ(::stat(TargetPath().c_str(), &target), 0);
    const int64_t device = static_cast<int64_t>(target.st_dev), before = device + 4099;
    renumber(device, before);
    std::vector<RecoveryReport> reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::Completed);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "second a");
    EXPECT_EQ(ReadFile(RootPath(".k5kept-t/originals/a.txt")), "first a");  // kept, not purged

    // The uninstall of the second (its record found on the device as it is now), cut at its first take-back.
    renumber(before, device);
    killedIn(KillAtTheFirstTakeBack, [&] { (void)Uninstall(TargetPath()); });
    renumber(device, before);
    reports = RecoverInterruptedInstalls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, RecoveryReport::Outcome::Completed);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "first a");  // its original back
    EXPECT_FALSE(PathExists(TargetPath("d.txt")));
    EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), "first b");
}
