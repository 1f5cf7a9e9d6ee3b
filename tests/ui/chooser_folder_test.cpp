// Where the folder chooser opens: the entry's folder, or its nearest existing
// parent; no display needed.

#include "ui/chooser_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "base/conversion.h"
#include "gui_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

std::string Start(const std::string& entry) {
    const AString folder = ChooserStartFolder(FromMultiByte(entry));
    return std::string(folder.c_str(), folder.length());
}

TEST(ChooserFolder, EntryFolderOrItsNearestExistingParent) {
    TempDir temp;
    MakeDirectories(temp.path("a/b"));
    WriteFile(temp.path("a/file"), "x");
    EXPECT_EQ(Start(temp.path("a/b")), temp.path("a/b"));
    EXPECT_EQ(Start(temp.path("a/b/")), temp.path("a/b/"));
    EXPECT_EQ(Start(temp.path("a/b/not/yet/made/")), temp.path("a/b"));
    EXPECT_EQ(Start(temp.path("a/file")), temp.path("a")) << "a file is no folder";
    EXPECT_EQ(Start(temp.path("a/file/below")), temp.path("a"));
    EXPECT_EQ(Start("/no-such-top-level-folder/x"), "/");
    EXPECT_EQ(Start("/"), "/");
    EXPECT_EQ(Start(""), "") << "an empty entry leaves the chooser where GTK opens it";

    // Backslashes count as slashes, as when the entry is accepted.
    std::string backslashed = temp.path("a\\b\\c");
    EXPECT_EQ(Start(backslashed), temp.path("a/b"));
}

TEST(ChooserFolder, HomeAndRelativeEntries) {
    TempDir temp;
    MakeDirectories(temp.path("home/templates"));
    MakeDirectories(temp.path("work/sub"));
    ScopedEnv home("HOME", temp.path("home"));
    EXPECT_EQ(Start("~/templates/new"), temp.path("home/templates"));
    EXPECT_EQ(Start("~"), temp.path("home"));

    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(temp.path("work").c_str()), 0);
    const std::string relative = Start("sub/new");
    const std::string tilde = Start("~user");  // not the home directory: a relative name
    ASSERT_EQ(chdir(old), 0);
    char resolved[4096];
    ASSERT_NE(realpath(temp.path("work").c_str(), resolved), nullptr);
    EXPECT_EQ(relative, std::string(resolved) + "/sub");
    EXPECT_EQ(tilde, std::string(resolved));
}

}  // namespace
