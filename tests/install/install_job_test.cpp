// The installation job on real files: where entries go, which existing files
// are replaced, the backup directory, the journal and the posts.

#include "install/install_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "base/conversion.h"
#include "platform/command_fast_paths.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kYear2001 = 978307200;
constexpr int64_t kYear2010 = 1262304000;
constexpr int64_t kYear2020 = 1577836800;
constexpr char kFinishText[] = "Copying complete...";

using InstallJobTest = InstallTest;

TEST_F(InstallJobTest, FreshInstallWritesEveryEntryWithItsTime) {
    AddEntry("a.txt", "alpha", TimeAt(kYear2010));
    AddEntry("sub\\dir\\b.txt", "beta", TimeAt(kYear2020));
    AddEntry("sub/c.txt", "gamma", TimeAt(kYear2001));
    AddEntry("empty.txt", "", TimeAt(kYear2020 + 7));

    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "alpha");
    EXPECT_EQ(ReadFile(TargetPath("sub/dir/b.txt")), "beta");
    EXPECT_EQ(ReadFile(TargetPath("sub/c.txt")), "gamma");
    EXPECT_EQ(ModificationTime(TargetPath("a.txt")), kYear2010);
    EXPECT_EQ(ModificationTime(TargetPath("sub/dir/b.txt")), kYear2020);
    EXPECT_EQ(ModificationTime(TargetPath("sub/c.txt")), kYear2001);
    // An empty entry still gives a file, carrying the entry's time.
    ASSERT_TRUE(PathExists(TargetPath("empty.txt")));
    EXPECT_EQ(ReadFile(TargetPath("empty.txt")), "");
    EXPECT_EQ(ModificationTime(TargetPath("empty.txt")), kYear2020 + 7);
    EXPECT_EQ(ListNames(TargetPath()), (std::vector<std::string>{"a.txt", "empty.txt", "sub"}));
}

TEST_F(InstallJobTest, JournalRecordsCreatedDirectoriesParentsFirst) {
    // "sub\dir\a.txt" into t/: t/sub and then t/sub/dir are made and recorded.
    AddEntry("sub\\dir\\a.txt", "x", TimeAt(kYear2010));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("sub/dir/a.txt")), "x");

    const JournalRecord& record = job_.record;
    EXPECT_EQ(record.target, TargetPath());
    EXPECT_EQ(StagingPath(), RootPath(".k5stp0-t/"));
    // The staging directory is no directory of the template path: it is made
    // exclusively and goes with the commit, not with the created directories.
    const std::vector<std::string> expected = {TargetPath("sub"), TargetPath("sub/dir")};
    EXPECT_EQ(CreatedDirectories(), expected);
    EXPECT_EQ(NewFiles(), std::vector<std::string>{TargetPath("sub/dir/a.txt")});
    // The staging directory went with the commit; nothing was ever in the temporary directory.
    EXPECT_TRUE(ListNames(TempPath()).empty());
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
}

TEST_F(InstallJobTest, ExistingDirectoriesAreNeitherMadeNorRecorded) {
    MakeDirectories(TargetPath("sub/dir"));
    AddEntry("sub\\dir\\a.txt", "x", TimeAt(kYear2010));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_TRUE(CreatedDirectories().empty());
}

TEST_F(InstallJobTest, ReplacesOnlyFilesOlderThanTheEntry) {
    WriteFile(TargetPath("older.txt"), "old");
    SetModificationTime(TargetPath("older.txt"), kYear2010 - 1);
    WriteFile(TargetPath("equal.txt"), "old");
    SetModificationTime(TargetPath("equal.txt"), kYear2010);
    WriteFile(TargetPath("newer.txt"), "old");
    SetModificationTime(TargetPath("newer.txt"), kYear2010 + 1);
    AddEntry("older.txt", "kit", TimeAt(kYear2010));
    AddEntry("equal.txt", "kit", TimeAt(kYear2010));
    AddEntry("newer.txt", "kit", TimeAt(kYear2010));

    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("older.txt")), "kit");
    EXPECT_EQ(ModificationTime(TargetPath("older.txt")), kYear2010);
    EXPECT_EQ(ReadFile(TargetPath("equal.txt")), "old");
    EXPECT_EQ(ReadFile(TargetPath("newer.txt")), "old");
    EXPECT_EQ(ModificationTime(TargetPath("newer.txt")), kYear2010 + 1);
    // A replaced file is not a new file: the rollback would move it back instead.
    EXPECT_TRUE(NewFiles().empty());
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

TEST_F(InstallJobTest, ComparesTheHighHalfFirst) {
    // The low half of the existing file's time is larger, the high half smaller.
    const FileTime existing = TimeAt(kYear2010);
    const FileTime entry = FileTime::FromTicks((static_cast<uint64_t>(existing.high) + 1) << 32);
    ASSERT_GT(existing.low, entry.low);
    WriteFile(TargetPath("a.txt"), "old");
    SetModificationTime(TargetPath("a.txt"), kYear2010);
    AddEntry("a.txt", "kit", entry);
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "kit");
}

// The copies keep whole seconds; the same kit run again finds them up to date
// (comparing the entry's sub-second part would replace them on every run).
TEST_F(InstallJobTest, SubSecondEntryTimeIsUpToDateOnTheNextRun) {
    AddEntry("fraction.txt", "kit", TimeAt(kYear2010, 5000000));  // half a second past
    AddEntry("whole.txt", "kit", TimeAt(kYear2010));
    ASSERT_EQ(RunJob(), 0u);
    // The copies keep whole seconds only.
    EXPECT_EQ(ModificationTime(TargetPath("fraction.txt")), kYear2010);
    EXPECT_EQ(ModificationTime(TargetPath("whole.txt")), kYear2010);

    // Mark both copies, keeping their times, and run the same kit again.
    WriteFile(TargetPath("fraction.txt"), "mark");
    SetModificationTime(TargetPath("fraction.txt"), kYear2010);
    WriteFile(TargetPath("whole.txt"), "mark");
    SetModificationTime(TargetPath("whole.txt"), kYear2010);
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("fraction.txt")), "mark");
    EXPECT_EQ(ReadFile(TargetPath("whole.txt")), "mark");

    // A kit one second newer still replaces.
    ResetKit();
    AddEntry("fraction.txt", "newer", TimeAt(kYear2010 + 1, 5000000));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("fraction.txt")), "newer");
}

TEST_F(InstallJobTest, StagingDirectoryTakesTheFirstFreeNumber) {
    AddEntry("a.txt", "kit", TimeAt(kYear2010));
    WriteFile(RootPath(".k5stp0-t"), "a file");
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(StagingPath(), RootPath(".k5stp1-t/"));
    EXPECT_EQ(ReadFile(RootPath(".k5stp0-t")), "a file");
    EXPECT_FALSE(PathExists(RootPath(".k5stp1-t")));

    // A directory of that name that is no staging directory of ours (mode
    // 0755) is neither adopted nor recovered.
    RemoveAll(RootPath(".k5stp0-t"));
    MakeDirectories(RootPath(".k5stp0-t/inside"));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(StagingPath(), RootPath(".k5stp1-t/"));
    EXPECT_TRUE(IsDirectory(RootPath(".k5stp0-t/inside")));

    // A dangling link is a name in use as well.
    ASSERT_EQ(::symlink("nowhere", RootPath(".k5stp1-t").c_str()), 0);
    for (int n = 2; n <= 9; ++n) MakeDirectories(RootPath(".k5stp" + std::to_string(n) + "-t"));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(StagingPath(), RootPath(".k5stp10-t/"));
    EXPECT_FALSE(PathExists(RootPath(".k5stp10-t")));
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

// Exchanged with its new file, an original waits beside it under the new
// file's temporary name; moved aside (where the file system cannot exchange),
// in the staging directory's originals/. Either way it goes at the commit.
TEST_F(InstallJobTest, ReplacedFilesWaitAsideUntilTheCommit) {
    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchanged" : "moved aside");
        ResetKit();
        RemoveAll(TargetPath());
        MakeDirectories(TargetPath());
        WriteFile(TargetPath("a.txt"), "old");
        SetModificationTime(TargetPath("a.txt"), kYear2001);
        MakeDirectories(TargetPath("sub"));
        WriteFile(TargetPath("sub/b.txt"), "old b");
        SetModificationTime(TargetPath("sub/b.txt"), kYear2001);
        AddEntry("a.txt", "new", TimeAt(kYear2010));
        AddEntry("sub\\b.txt", "new b", TimeAt(kYear2010));
        AddEntry("sub\\fresh\\c.txt", "c", TimeAt(kYear2010));
        AddEntry("last.txt", "d", TimeAt(kYear2010));
        batchSize_ = 1;  // each entry done before the next is looked at
        exchangeOriginals_ = exchange;
        // Looked at when the last entry is about to be handled.
        onPost_ = [this, exchange](const Post& post) {
            if (post.percent != 75) return;
            EXPECT_EQ(ReadFile(TargetPath("a.txt")), "new");
            if (exchange) {
                EXPECT_EQ(ReadFile(TargetPath(".k5stp0.0")), "old");
                EXPECT_EQ(ReadFile(TargetPath("sub/.k5stp0.1")), "old b");
                EXPECT_EQ(ModificationTime(TargetPath("sub/.k5stp0.1")), kYear2001);
                EXPECT_FALSE(PathExists(RootPath(".k5stp0-t/originals/sub")));
            } else {
                EXPECT_EQ(ReadFile(RootPath(".k5stp0-t/originals/a.txt")), "old");
                EXPECT_EQ(ReadFile(RootPath(".k5stp0-t/originals/sub/b.txt")), "old b");
                EXPECT_EQ(ModificationTime(RootPath(".k5stp0-t/originals/sub/b.txt")), kYear2001);
                // A subdirectory is made only for an original that is moved there.
                EXPECT_FALSE(PathExists(RootPath(".k5stp0-t/originals/sub/fresh")));
            }
            EXPECT_TRUE(ListNames(TempPath()).empty());
        };
        ASSERT_EQ(RunJob(), 0u);
        ASSERT_EQ(posts_.size(), 5u);
        EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), "new b");
        EXPECT_EQ(ListNames(TargetPath()), (std::vector<std::string>{"a.txt", "last.txt", "sub"}));
        EXPECT_EQ(ListNames(TargetPath("sub")), (std::vector<std::string>{"b.txt", "fresh"}));
        EXPECT_FALSE(PathExists(RootPath(".k5stp0-t")));
        EXPECT_TRUE(ListNames(TempPath()).empty());
    }
}

TEST_F(InstallJobTest, PostsPercentBeforeEachEntryAndOneFinalPost) {
    AddEntry("a", "1", TimeAt(kYear2010));
    AddEntry("d\\b", "2", TimeAt(kYear2010));
    AddEntry("c", "3", TimeAt(kYear2010));
    AddEntry("d\\e", "4", TimeAt(kYear2010));
    WriteFile(TargetPath("c"), "newer, skipped");
    SetModificationTime(TargetPath("c"), kYear2020);

    ASSERT_EQ(RunJob(), 0u);
    ASSERT_EQ(posts_.size(), 5u);
    const std::vector<std::string> destinations = {TargetPath("a"), TargetPath("d/b"), TargetPath("c"),
                                                   TargetPath("d/e")};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(posts_[i].code, 0u);
        EXPECT_EQ(posts_[i].text, destinations[i]);
        EXPECT_EQ(posts_[i].percent, i * 25);
    }
    EXPECT_EQ(posts_[4].code, 0u);
    EXPECT_EQ(posts_[4].text, kFinishText);
    EXPECT_EQ(posts_[4].percent, 100u);
}

TEST_F(InstallJobTest, KitWithoutEntriesStillMakesAndRemovesTheBackupDirectory) {
    onPost_ = [this](const Post&) { EXPECT_TRUE(ListNames(TempPath()).empty()); };
    ASSERT_EQ(RunJob(), 0u);
    ASSERT_EQ(posts_.size(), 1u);
    EXPECT_EQ(posts_[0].code, 0u);
    EXPECT_EQ(posts_[0].text, kFinishText);
    EXPECT_EQ(posts_[0].percent, 100u);
    EXPECT_EQ(StagingPath(), RootPath(".k5stp0-t/"));
    EXPECT_FALSE(PathExists(StagingPath()));
    EXPECT_TRUE(ListNames(TargetPath()).empty());
}

TEST_F(InstallJobTest, TargetWithoutFinalSeparatorIsUsedAsGiven) {
    // The caller hands the job the directory with its "/" (config's form).
    AddEntry("a.txt", "x", TimeAt(kYear2010));
    ASSERT_EQ(RunJobInto(RootPath("t")), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "x");
}

TEST_F(InstallJobTest, TargetNotAbsoluteOrWithoutFinalSeparatorIsRefusedBeforeAnythingIsMade) {
    // The job adds no "/" and resolves no relative path: whoever sets it up
    // gives the one form that means one directory wherever a later start runs.
    AddEntry("a.txt", "x", TimeAt(kYear2010));
    BuildKit();
    const TreeSnapshot before = Snapshot(RootPath(""));
    for (const std::string& target : {RootPath("t"), std::string("relative/t/"), std::string("relative")}) {
        InstallJobState state;
        SetupJob(state, FromMultiByte(target));
        InstallJob job;
        job.finalPauseMilliseconds = 0;
        const Failure failure = RunInstallJob(job, state, &kit());
        EXPECT_EQ(failure.code, ERR_INVALID_PARAMETER) << target;
        EXPECT_EQ(failure.error, EINVAL) << target;
        EXPECT_EQ(failure.path, target) << target;
        uint32_t code = 0;
        WString text;
        uint32_t percent = 1;
        GetJobResult(state, code, text, percent);
        EXPECT_EQ(code, ERR_INVALID_PARAMETER) << target;
        EXPECT_EQ(percent, 0u) << target;
    }
    EXPECT_EQ(Snapshot(RootPath("")), before);
    EXPECT_FALSE(PathExists("relative"));
}

TEST_F(InstallJobTest, MissingTemplateDirectoryIsMadeAndRecorded) {
    AddEntry("a.txt", "x", TimeAt(kYear2010));
    ASSERT_EQ(RunJobInto(RootPath("new/templates")), 0u);
    EXPECT_EQ(ReadFile(RootPath("new/templates/a.txt")), "x");
    EXPECT_EQ(CreatedDirectories(), (std::vector<std::string>{RootPath("new"), RootPath("new/templates")}));
}

TEST_F(InstallJobTest, EmptyTemplateDirectoryWritesNothing) {
    // Names would otherwise be taken relative to the working directory.
    AddEntry("stray-entry.txt", "x", TimeAt(kYear2010));
    ASSERT_EQ(RunJobInto(""), 3u);
    EXPECT_FALSE(PathExists("stray-entry.txt"));
    ASSERT_EQ(posts_.size(), 1u);
    EXPECT_EQ(posts_[0].text, "Installation error");
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

TEST_F(InstallJobTest, DirectoryStandingAtTheDestinationIsKept) {
    MakeDirectories(TargetPath("a.txt/inner"));
    WriteFile(TargetPath("a.txt/inner/keep"), "keep");
    SetModificationTime(TargetPath("a.txt"), kYear2001);
    const TreeSnapshot before = Snapshot(TargetPath());
    AddEntry("a.txt", "x", TimeAt(kYear2010));
    EXPECT_EQ(RunJob(), 87u);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

TEST_F(InstallJobTest, RepeatedNameKeepsTheOriginalForTheRollback) {
    WriteFile(TargetPath("a.txt"), "original");
    SetModificationTime(TargetPath("a.txt"), kYear2001);
    const TreeSnapshot before = Snapshot(TargetPath());
    AddEntry("a.txt", "first", TimeAt(kYear2010));
    AddEntry("a.txt", "second", TimeAt(kYear2020));
    AddEntry("..\\fail", "x", TimeAt(kYear2020));
    EXPECT_EQ(RunJob(), 13u);
    EXPECT_EQ(Snapshot(TargetPath()), before);

    ResetKit();
    AddEntry("a.txt", "first", TimeAt(kYear2010));
    AddEntry("a.txt", "second", TimeAt(kYear2020));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "second");
    EXPECT_EQ(ModificationTime(TargetPath("a.txt")), kYear2020);
}

// Names that a shell would take apart reach the file system unchanged, also
// when every command goes through its utility.
class HostileNameTest : public InstallTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HostileNameTest, InstallsAndReplacesFilesWithShellCharacters) {
    const bool fastPaths = GetParam();
    SetCommandFastPaths(fastPaths);
    const std::vector<std::string> names = {
        "it's \"quoted\".txt", "$HOME and $(echo x).txt", "`touch pwned` b.txt", " leading space.txt",
        "-rf", "semi;colon & amp|pipe>.txt", "star*?[x].txt", "dir with space\\$sub\\`tick`\\'q' \"d\".txt",
    };
    for (const std::string& name : names) AddEntry(name, "v1:" + name, TimeAt(kYear2010));
    const uint32_t first = RunJob();
    // The second kit is newer: every file goes through the backup tree.
    ResetKit();
    for (const std::string& name : names) AddEntry(name, "v2:" + name, TimeAt(kYear2020));
    const uint32_t second = RunJob();
    SetCommandFastPaths(true);

    ASSERT_EQ(first, 0u);
    ASSERT_EQ(second, 0u);
    EXPECT_EQ(ReadFile(TargetPath("it's \"quoted\".txt")), "v2:it's \"quoted\".txt");
    EXPECT_EQ(ReadFile(TargetPath("-rf")), "v2:-rf");
    EXPECT_EQ(ReadFile(TargetPath("dir with space/$sub/`tick`/'q' \"d\".txt")),
              "v2:dir with space\\$sub\\`tick`\\'q' \"d\".txt");
    EXPECT_EQ(ModificationTime(TargetPath("star*?[x].txt")), kYear2020);
    EXPECT_EQ(Snapshot(TargetPath()).size(), names.size() + 3);  // three directories
    EXPECT_FALSE(PathExists(RootPath("pwned")));
    EXPECT_FALSE(PathExists("pwned"));
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

INSTANTIATE_TEST_SUITE_P(FastPaths, HostileNameTest, ::testing::Values(true, false));

// Utilities on PATH are stand-ins that log every start before running the real
// one: neither a fresh install nor an update starts a process.
TEST_F(InstallJobTest, FreshAndUpdateInstallStartNoProcess) {
    MakeDirectories(RootPath("bin"));
    const std::string log = RootPath("starts.log");
    for (const char* tool : {"mkdir", "mv", "rm", "touch"}) {
        const std::string stub = RootPath(std::string("bin/") + tool);
        WriteFile(stub, "#!/bin/sh\necho \"$0 $*\" >> '" + log + "'\nexec /bin/" + tool + " \"$@\"\n");
        ASSERT_EQ(::chmod(stub.c_str(), 0755), 0);
    }
    uint32_t fresh = 0;
    uint32_t update = 0;
    {
        const ScopedEnv path("PATH", RootPath("bin"));
        for (int d = 0; d < 3; ++d) {
            for (int f = 0; f < 3; ++f) {
                AddEntry("d" + std::to_string(d) + "\\sub\\f" + std::to_string(f), "v1", TimeAt(kYear2010));
            }
        }
        fresh = RunJob();
        ResetKit();
        for (int d = 0; d < 3; ++d) {
            for (int f = 0; f < 3; ++f) {
                AddEntry("d" + std::to_string(d) + "\\sub\\f" + std::to_string(f), "v2", TimeAt(kYear2020));
            }
        }
        update = RunJob();
    }

    EXPECT_EQ(fresh, 0u);
    EXPECT_EQ(update, 0u);
    EXPECT_EQ(ReadFile(TargetPath("d2/sub/f2")), "v2");
    EXPECT_EQ(ReadFile(log), "");
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

}  // namespace
