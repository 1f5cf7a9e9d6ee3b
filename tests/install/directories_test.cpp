// Making and removing directories for the job, and the entry checks made
// before anything is written.

#include "install/directories.h"

#include <unistd.h>

#include <cerrno>

#include "install/backup.h"
#include "install/extract.h"
#include "platform/file_entries.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

using DirectoriesTest = InstallTest;

std::vector<std::string> Created(const InstallJob& job) {
    std::vector<std::string> created;
    for (const WString& directory : job.journal.back().createdDirectories) created.push_back(Narrow(directory));
    return created;
}

TEST_F(DirectoriesTest, EnsureDirectoryRecordsWhatItMakesParentsFirst) {
    InstallJob job;
    job.journal.emplace_back();
    EXPECT_EQ(EnsureDirectory(job, Wide(TargetPath("a/b/c/"))), 0u);
    EXPECT_TRUE(IsDirectory(TargetPath("a/b/c")));
    // Recorded as given, the final "/" included.
    EXPECT_EQ(Created(job), (std::vector<std::string>{TargetPath("a"), TargetPath("a/b"), TargetPath("a/b/c/")}));

    // Existing directories cost nothing and are not recorded again.
    EXPECT_EQ(EnsureDirectory(job, Wide(TargetPath("a/b"))), 0u);
    EXPECT_EQ(EnsureDirectory(job, u"/"), 0u);
    EXPECT_EQ(Created(job).size(), 3u);
}

TEST_F(DirectoriesTest, EnsureDirectoryFailsWithoutAParentToMake) {
    InstallJob job;
    job.journal.emplace_back();
    EXPECT_EQ(EnsureDirectory(job, u"C:/missing"), 3u);
    EXPECT_EQ(EnsureDirectory(job, u"C:/missing/deeper"), 3u);
    EXPECT_TRUE(job.journal.back().createdDirectories.empty());
}

TEST_F(DirectoriesTest, EnsureDirectoryMakesARelativePathDownFromTheCurrentDirectory) {
    const std::string saved = CurrentDirectory();
    ASSERT_EQ(::chdir(TargetPath().c_str()), 0);
    InstallJob job;
    job.journal.emplace_back();
    const uint32_t code = EnsureDirectory(job, u"rel/templates/");
    const std::vector<std::string> created = Created(job);
    ASSERT_EQ(::chdir(saved.c_str()), 0);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(IsDirectory(TargetPath("rel/templates")));
    EXPECT_EQ(created, (std::vector<std::string>{"rel", "rel/templates/"}));
}

TEST_F(DirectoriesTest, EnsureDirectoryStopsAtAFileInTheWay) {
    InstallJob job;
    job.journal.emplace_back();
    MakeDirectories(TargetPath("a"));
    WriteFile(TargetPath("a/file"), "x");
    EXPECT_EQ(EnsureDirectory(job, Wide(TargetPath("a/file/b"))), 2u);
    EXPECT_TRUE(job.journal.back().createdDirectories.empty());
    EXPECT_EQ(ReadFile(TargetPath("a/file")), "x");
}

TEST_F(DirectoriesTest, PurgeDirectoryRemovesEverythingButWhatLinksPointTo) {
    MakeDirectories(TempPath("victim/a/b"));
    WriteFile(TempPath("victim/.hidden"), "h");
    WriteFile(TempPath("victim/a/b/deep"), "d");
    MakeDirectories(TargetPath("precious"));
    WriteFile(TargetPath("precious/file"), "p");
    ASSERT_EQ(::symlink(TargetPath("precious").c_str(), TempPath("victim/a/link").c_str()), 0);
    InstallJob job;
    EXPECT_EQ(PurgeDirectory(job, Wide(TempPath("victim"))), 0u);
    EXPECT_FALSE(PathExists(TempPath("victim")));
    EXPECT_EQ(ReadFile(TargetPath("precious/file")), "p");
    // A second purge, and one of nothing at all, find nothing to do.
    EXPECT_EQ(PurgeDirectory(job, Wide(TempPath("victim"))), 0u);
    EXPECT_EQ(PurgeDirectory(job, u""), 0u);
}

TEST_F(DirectoriesTest, RestoreBackupMovesFilesBackIntoPlace) {
    MakeDirectories(TempPath("backup/sub/deeper"));
    WriteFile(TempPath("backup/top.txt"), "top");
    WriteFile(TempPath("backup/sub/deeper/x.txt"), "x");
    SetModificationTime(TempPath("backup/sub/deeper/x.txt"), 978307200);
    MakeDirectories(TargetPath("sub/deeper"));
    WriteFile(TargetPath("top.txt"), "written by the job");
    InstallJob job;
    RestoreBackup(job, Wide(TargetPath()), Wide(TempPath("backup/")));
    EXPECT_EQ(ReadFile(TargetPath("top.txt")), "top");
    EXPECT_EQ(ReadFile(TargetPath("sub/deeper/x.txt")), "x");
    EXPECT_EQ(ModificationTime(TargetPath("sub/deeper/x.txt")), 978307200);
    EXPECT_FALSE(PathExists(TempPath("backup/top.txt")));
}

TEST(EntryNameTest, AcceptsNamesInsideTheDirectory) {
    for (const char16_t* name : {u"a.txt", u"sub\\dir\\a.txt", u"sub/dir/a.txt", u"..a", u"a..", u"a\\..b\\c",
                                 u".hidden", u"a\\.\\b", u"ab:c", u"1:x", u"a b\\c'd\"e$f`g"}) {
        EXPECT_TRUE(IsSafeEntryName(name)) << Narrow(name);
    }
}

TEST(EntryNameTest, RefusesNamesReachingOutside) {
    for (const char16_t* name : {u"", u"..", u"..\\a", u"../a", u"a\\..", u"a/../../b", u"a\\..\\b", u"/abs",
                                 u"\\abs", u"C:x", u"c:\\x", u"Z:", u"a\\", u"a/", u".", u"a\\."}) {
        EXPECT_FALSE(IsSafeEntryName(name)) << Narrow(name);
    }
    const char16_t withZero[] = {u'a', 0, u'.', u'.', u'/', u'x'};
    EXPECT_FALSE(IsSafeEntryName(WString(withZero, 6)));
}

TEST_F(DirectoriesTest, ExtractEntryReportsWhatStopsIt) {
    AddEntry("a", "bytes", TimeAt(1262304000));
    BuildKit();
    EXPECT_EQ(ExtractEntry(kit(), 1, Wide(TargetPath("x"))), 87u);  // no such entry
    EXPECT_EQ(ExtractEntry(kit(), 0, Wide(TargetPath("missing/x"))), 2u);
    EXPECT_FALSE(PathExists(TargetPath("x")));

    // Only a new file is written: whatever stands at the name (a file, a
    // link to one) is left as it is and the write fails.
    EXPECT_EQ(ExtractEntry(kit(), 0, Wide(TargetPath("x"))), 0u);
    EXPECT_EQ(ReadFile(TargetPath("x")), "bytes");
    EXPECT_EQ(ModificationTime(TargetPath("x")), 1262304000);
    WriteFile(TargetPath("other"), "a much longer earlier content");
    int error = 0;
    EXPECT_EQ(ExtractEntry(kit(), 0, Wide(TargetPath("other")), &error), 87u);
    EXPECT_EQ(error, EEXIST);
    ASSERT_EQ(::symlink(TargetPath("other").c_str(), TargetPath("link").c_str()), 0);
    EXPECT_EQ(ExtractEntry(kit(), 0, Wide(TargetPath("link")), &error), 87u);
    EXPECT_EQ(ReadFile(TargetPath("other")), "a much longer earlier content");

    DistributionKit closed;  // no container open
    closed.entries = kit().entries;
    EXPECT_EQ(ExtractEntry(closed, 0, Wide(TargetPath("y"))), 6u);
}

}  // namespace
