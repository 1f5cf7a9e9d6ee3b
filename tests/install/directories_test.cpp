// Making and removing directories for the job, and the entry checks made
// before anything is written.

#include "base/conversion.h"
#include "install/template_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "install/undo.h"
#include "install/extract.h"
#include "kit/entry_names.h"
#include "platform/file_entries.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

using DirectoriesTest = InstallTest;

TEST_F(DirectoriesTest, MakeTemplateDirectoryRecordsWhatItMakesParentsFirst) {
    std::vector<std::string> made;
    Failure failure;
    EXPECT_EQ(MakeTemplateDirectory(TargetPath("a/b/c/"), made, failure), 0u);
    EXPECT_TRUE(IsDirectory(TargetPath("a/b/c")));
    EXPECT_EQ(made,
              (std::vector<std::string>{TargetPath("a"), TargetPath("a/b"), TargetPath("a/b/c")}));

    // Existing directories cost nothing and are not recorded again.
    EXPECT_EQ(MakeTemplateDirectory(TargetPath("a/b"), made, failure), 0u);
    EXPECT_EQ(MakeTemplateDirectory("/", made, failure), 0u);
    EXPECT_EQ(made.size(), 3u);
}

TEST_F(DirectoriesTest, MakeTemplateDirectoryFailsWithoutAParentToMake) {
    std::vector<std::string> made;
    Failure failure;
    EXPECT_EQ(MakeTemplateDirectory("C:/missing", made, failure), 3u);
    EXPECT_EQ(MakeTemplateDirectory("C:/missing/deeper", made, failure), 3u);
    EXPECT_TRUE(made.empty());
}

TEST_F(DirectoriesTest, RelativeTemplateDirectoryIsMadeDownFromTheCurrentDirectory) {
    const std::string saved = CurrentDirectory();
    ASSERT_EQ(::chdir(TargetPath().c_str()), 0);
    AddEntry("a.txt", "x", TimeAt(1262304000));
    const uint32_t code = RunJobInto("rel/templates/");
    ASSERT_EQ(::chdir(saved.c_str()), 0);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFile(TargetPath("rel/templates/a.txt")), "x");
    EXPECT_EQ(CreatedDirectories(), (std::vector<std::string>{TargetPath("rel"), TargetPath("rel/templates")}));
}

TEST_F(DirectoriesTest, MakeTemplateDirectoryStopsAtAFileInTheWay) {
    std::vector<std::string> made;
    Failure failure;
    MakeDirectories(TargetPath("a"));
    WriteFile(TargetPath("a/file"), "x");
    EXPECT_EQ(MakeTemplateDirectory(TargetPath("a/file/b"), made, failure), 2u);
    EXPECT_TRUE(made.empty());
    EXPECT_EQ(ReadFile(TargetPath("a/file")), "x");
}

TEST_F(DirectoriesTest, PurgeTreeRemovesEverythingButWhatLinksPointTo) {
    MakeDirectories(TempPath("victim/a/b"));
    WriteFile(TempPath("victim/.hidden"), "h");
    WriteFile(TempPath("victim/a/b/deep"), "d");
    MakeDirectories(TargetPath("precious"));
    WriteFile(TargetPath("precious/file"), "p");
    ASSERT_EQ(::symlink(TargetPath("precious").c_str(), TempPath("victim/a/link").c_str()), 0);
    OwnedDescriptor temporary(::open(TempPath().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_EQ(PurgeTreeAt(temporary.Get(), "victim").error, 0);
    EXPECT_FALSE(PathExists(TempPath("victim")));
    EXPECT_EQ(ReadFile(TargetPath("precious/file")), "p");
    // A second purge finds nothing to do.
    EXPECT_EQ(PurgeTreeAt(temporary.Get(), "victim").error, 0);
}

TEST_F(DirectoriesTest, UndoMovesOriginalsBackOnlyOverTheJobsOwnFiles) {
    MakeDirectories(TempPath("originals/sub/deeper"));
    WriteFile(TempPath("originals/top.txt"), "top");
    WriteFile(TempPath("originals/sub/deeper/x.txt"), "x");
    WriteFile(TempPath("originals/foreign.txt"), "kept");
    SetModificationTime(TempPath("originals/sub/deeper/x.txt"), 978307200);
    MakeDirectories(TargetPath("sub/deeper"));
    WriteFile(TargetPath("top.txt"), "written by the job");
    WriteFile(TargetPath("foreign.txt"), "someone else's");
    struct stat written;
    ASSERT_EQ(::lstat(TargetPath("top.txt").c_str(), &written), 0);

    std::vector<JournalStep> steps;
    steps.emplace_back(StepKind::MoveToBackup, TargetPath("top.txt"));
    steps.emplace_back(StepKind::MoveToBackup, TargetPath("sub/deeper/x.txt"));
    steps.emplace_back(StepKind::MoveToBackup, TargetPath("foreign.txt"));
    JournalStep mine(StepKind::WriteFile, TargetPath("top.txt"), ".k5stp0.0");
    mine.identified = true;
    mine.device = written.st_dev;
    mine.inode = written.st_ino;
    steps.push_back(mine);
    OwnedDescriptor root(::open(TargetPath().c_str(), O_RDONLY | O_DIRECTORY));
    OwnedDescriptor originals(::open(TempPath("originals").c_str(), O_RDONLY | O_DIRECTORY));
    const UndoOutcome outcome = UndoSteps(steps, TargetPath(), root.Get(), originals.Get(), Unrecorded::NotOurs);
    // The job's own file went, and the original is back in its place.
    EXPECT_FALSE(PathExists(TargetPath(".k5stp0.0")));
    EXPECT_EQ(ReadFile(TargetPath("top.txt")), "top");
    EXPECT_EQ(ReadFile(TargetPath("sub/deeper/x.txt")), "x");
    EXPECT_EQ(ModificationTime(TargetPath("sub/deeper/x.txt")), 978307200);
    EXPECT_FALSE(PathExists(TempPath("originals/top.txt")));
    // A file that is not the job's is left alone, and its original kept.
    EXPECT_EQ(ReadFile(TargetPath("foreign.txt")), "someone else's");
    EXPECT_EQ(ReadFile(TempPath("originals/foreign.txt")), "kept");
    EXPECT_FALSE(outcome.originalsRestored);
    EXPECT_EQ(outcome.notRestored, std::vector<std::string>{TargetPath("foreign.txt")});
}

TEST(EntryNameTest, AcceptsNamesInsideTheDirectory) {
    for (const char16_t* name : {u"a.txt", u"sub\\dir\\a.txt", u"sub/dir/a.txt", u"..a", u"a..", u"a\\..b\\c",
                                 u".hidden", u"a\\.b", u"ab:c", u"1:x", u"a b\\c'd\"e$f`g"}) {
        EXPECT_EQ(CheckEntryName(name), ENTRY_NAME_OK) << ToMultiByteString(name);
    }
}

TEST(EntryNameTest, RefusesNamesReachingOutside) {
    for (const char16_t* name : {u"", u"..", u"..\\a", u"../a", u"a\\..", u"a/../../b", u"a\\..\\b", u"/abs",
                                 u"\\abs", u"C:x", u"c:\\x", u"Z:", u"a\\", u"a/", u".", u"a\\.",
                                 u"a\\.\\b", u"a\\\\b", u"./a"}) {
        EXPECT_NE(CheckEntryName(name), ENTRY_NAME_OK) << ToMultiByteString(name);
    }
    const char16_t withZero[] = {u'a', 0, u'.', u'.', u'/', u'x'};
    EXPECT_NE(CheckEntryName(WString(withZero, 6)), ENTRY_NAME_OK);
}

TEST_F(DirectoriesTest, ExtractEntryReportsWhatStopsIt) {
    AddEntry("a", "bytes", TimeAt(1262304000));
    BuildKit();
    EXPECT_EQ(ExtractEntry(kit(), 1, FromMultiByte(TargetPath("x"))).code, 87u);  // no such entry
    EXPECT_EQ(ExtractEntry(kit(), 0, FromMultiByte(TargetPath("missing/x"))).code, 2u);
    EXPECT_FALSE(PathExists(TargetPath("x")));

    // Only a new file is written: whatever stands at the name (a file, a
    // link to one) is left as it is and the write fails.
    EXPECT_EQ(ExtractEntry(kit(), 0, FromMultiByte(TargetPath("x"))).code, 0u);
    EXPECT_EQ(ReadFile(TargetPath("x")), "bytes");
    EXPECT_EQ(ModificationTime(TargetPath("x")), 1262304000);
    WriteFile(TargetPath("other"), "a much longer earlier content");
    const Failure taken = ExtractEntry(kit(), 0, FromMultiByte(TargetPath("other")));
    EXPECT_EQ(taken.code, 87u);
    EXPECT_EQ(taken.error, EEXIST);
    EXPECT_EQ(taken.path, TargetPath("other"));
    ASSERT_EQ(::symlink(TargetPath("other").c_str(), TargetPath("link").c_str()), 0);
    EXPECT_EQ(ExtractEntry(kit(), 0, FromMultiByte(TargetPath("link"))).code, 87u);
    EXPECT_EQ(ReadFile(TargetPath("other")), "a much longer earlier content");

    const std::unique_ptr<DistributionKit> closed =
        DistributionKit::FromContainer(OwnedDescriptor(), {}, kit().Entries());  // no container open
    EXPECT_EQ(ExtractEntry(*closed, 0, FromMultiByte(TargetPath("y"))).code, 6u);
}

}  // namespace
