#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/conversion.h"
#include "platform/command_fast_paths.h"
#include "platform/file_system.h"
#include "platform_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

std::set<std::string> Listing(const std::string& directory) {
    std::set<std::string> names;
    DIR* stream = opendir(directory.c_str());
    if (stream == nullptr) return names;
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.insert(name);
    }
    closedir(stream);
    return names;
}

// Names a shell would take apart; every one must reach the utility as one
// literal word. The markers would appear in the working directory if any
// command substitution ran.
const std::vector<std::string>& HostileNames() {
    static const std::vector<std::string> names = {
        "quote\"d",           "$(touch pwned-dollar)", "`touch pwned-backquote`", "back\\slash",
        "new\nline",          "with space",            "-rf",                     "--help",
        ";touch pwned-semi;", "'single'",              "star*",                   "\xc3\xbcml\xc3\xa4ut",
    };
    return names;
}

// Runs each case twice: with the direct system calls, and with every command
// going through its utility.
class FileCommandsTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        SetCommandFastPaths(GetParam());
        ASSERT_NE(getcwd(oldCwd_, sizeof oldCwd_), nullptr);
        ASSERT_EQ(chdir(cwd_.path().c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(oldCwd_), 0);
        SetCommandFastPaths(true);
        EXPECT_TRUE(Listing(cwd_.path()).empty()) << "a command ran something in the working directory";
    }
    std::string Path(const std::string& relative) const { return dir_.path(relative); }

    TempDir dir_;
    TempDir cwd_;
    char oldCwd_[4096] = {};
};

TEST_P(FileCommandsTest, CreateDirectoryTreeMakesMissingParents) {
    MakeDirectories(Path("a"));
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("a/b/c"))), 0u);
    EXPECT_TRUE(IsDirectory(Path("a/b/c")));
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("a/b/c"))), 0u) << "an existing directory is success";
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("a/b/c/"))), 0u);
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("a//x/./y/../z/"))), 0u);
    EXPECT_TRUE(IsDirectory(Path("a/x/z")));
    EXPECT_TRUE(IsDirectory(Path("a/x/y")));
}

TEST_P(FileCommandsTest, CreateDirectoryTreeFailsOnFiles) {
    WriteFile(Path("file"), "f");
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("file/below/deeper"))), ERR_NOT_FOUND);
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("file"))), ERR_NOT_FOUND);
    EXPECT_EQ(CreateDirectoryTree(u""), ERR_NOT_FOUND);
    symlink("nowhere", Path("dangling").c_str());
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("dangling"))), ERR_NOT_FOUND);
    EXPECT_EQ(ReadFile(Path("file")), "f");
}

TEST_P(FileCommandsTest, CreateDirectoryTreeModesFollowTheMask) {
    // Parents stay usable (u+wx) even when the mask takes those bits away.
    const mode_t old = umask(0277);
    const uint32_t result = CreateDirectoryTree(FromMultiByte(Path("m/n/o")));
    umask(old);
    ASSERT_EQ(result, 0u);
    EXPECT_EQ(StatOf(Path("m")).st_mode & 07777, 0700u);
    EXPECT_EQ(StatOf(Path("m/n")).st_mode & 07777, 0700u);
    EXPECT_EQ(StatOf(Path("m/n/o")).st_mode & 07777, 0500u);
    chmod(Path("m/n/o").c_str(), 0700);
}

TEST_P(FileCommandsTest, HostileNamesAreCreatedMovedAndRemovedLiterally) {
    for (const std::string& name : HostileNames()) {
        SCOPED_TRACE(name);
        ASSERT_EQ(CreateDirectoryTree(FromMultiByte(Path(name + "/inner"))), 0u);
        EXPECT_EQ(Listing(dir_.path()), std::set<std::string>{name});
        EXPECT_EQ(Listing(Path(name)), std::set<std::string>{"inner"});

        EXPECT_EQ(MovePath(FromMultiByte(Path(name)), FromMultiByte(Path(name + ".moved"))), 0u);
        EXPECT_EQ(Listing(dir_.path()), std::set<std::string>{name + ".moved"});

        WriteFile(Path(name + ".moved/inner/" + name), "x");
        EXPECT_EQ(RemoveFile(FromMultiByte(Path(name + ".moved/inner/" + name))), 0u);
        EXPECT_TRUE(Listing(Path(name + ".moved/inner")).empty());

        EXPECT_EQ(RemoveTree(FromMultiByte(Path(name + ".moved"))), 0u);
        EXPECT_TRUE(Listing(dir_.path()).empty());
    }
}

TEST_P(FileCommandsTest, SubstitutionsSpanningComponentsStayLiteral) {
    const std::string marker = Path("pwned");
    const std::string dollar = Path("$(touch " + marker + ")");
    const std::string back = Path("`touch " + marker + "`");
    ASSERT_EQ(CreateDirectoryTree(FromMultiByte(dollar)), 0u);
    ASSERT_EQ(CreateDirectoryTree(FromMultiByte(back)), 0u);
    EXPECT_TRUE(IsDirectory(dollar));
    EXPECT_TRUE(IsDirectory(back));
    EXPECT_EQ(Listing(dir_.path()), (std::set<std::string>{"$(touch ", "`touch "}));
    EXPECT_EQ(RemoveTree(FromMultiByte(Path("$(touch "))), 0u);
    EXPECT_EQ(RemoveTree(FromMultiByte(Path("`touch "))), 0u);
    EXPECT_TRUE(Listing(dir_.path()).empty());
}

TEST_P(FileCommandsTest, MoveFollowsTheUtilitysRules) {
    EXPECT_EQ(MovePath(FromMultiByte(Path("missing")), FromMultiByte(Path("target"))), ERR_NOT_FOUND);
    EXPECT_FALSE(PathExists(Path("target")));

    // Onto an existing directory: the source goes into it.
    WriteFile(Path("src"), "s");
    MakeDirectories(Path("into"));
    EXPECT_EQ(MovePath(FromMultiByte(Path("src")), FromMultiByte(Path("into"))), 0u);
    EXPECT_EQ(ReadFile(Path("into/src")), "s");
    // Also a directory onto an existing empty directory, which rename(2) would replace.
    MakeDirectories(Path("dir/inner"));
    MakeDirectories(Path("empty"));
    EXPECT_EQ(MovePath(FromMultiByte(Path("dir")), FromMultiByte(Path("empty"))), 0u);
    EXPECT_TRUE(IsDirectory(Path("empty/dir/inner")));

    // Onto an existing file: replaced.
    WriteFile(Path("new"), "new");
    WriteFile(Path("old"), "old");
    EXPECT_EQ(MovePath(FromMultiByte(Path("new")), FromMultiByte(Path("old"))), 0u);
    EXPECT_EQ(ReadFile(Path("old")), "new");
    EXPECT_FALSE(PathExists(Path("new")));

    // A directory into itself fails with mv's status 1.
    MakeDirectories(Path("self"));
    EXPECT_EQ(MovePath(FromMultiByte(Path("self")), FromMultiByte(Path("self/sub"))), ERR_NOT_FOUND);
    EXPECT_TRUE(IsDirectory(Path("self")));
    EXPECT_EQ(Listing(Path("self")), std::set<std::string>{});
}

TEST_P(FileCommandsTest, MoveAcrossFileSystems) {
    if (!IsDirectory("/dev/shm") || StatOf("/dev/shm").st_dev == StatOf(dir_.path()).st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const TempDir other("/dev/shm");
    const std::string& shm = other.path();
    for (const std::string& name : {std::string("$(touch pwned-x) \"q\"\n"), std::string("-dash")}) {
        SCOPED_TRACE(name);
        MakeDirectories(Path(name + "/tree"));
        WriteFile(Path(name + "/tree/leaf"), "leaf");
        EXPECT_EQ(MovePath(FromMultiByte(Path(name)), FromMultiByte(shm + "/" + name)), 0u);
        EXPECT_FALSE(PathExists(Path(name)));
        EXPECT_EQ(ReadFile(shm + "/" + name + "/tree/leaf"), "leaf");
        EXPECT_EQ(MovePath(FromMultiByte(shm + "/" + name), FromMultiByte(Path("back"))), 0u);
        EXPECT_EQ(ReadFile(Path("back/tree/leaf")), "leaf");
        EXPECT_EQ(Listing(shm), std::set<std::string>{});
        EXPECT_EQ(RemoveTree(FromMultiByte(Path("back"))), 0u);
    }
}

TEST_P(FileCommandsTest, RemoveTouchesOnlyTheNamedThing) {
    MakeDirectories(Path("tree/a/b"));
    WriteFile(Path("tree/a/b/f"), "f");
    WriteFile(Path("tree/.hidden"), "h");
    MakeDirectories(Path("keep"));
    WriteFile(Path("keep/k"), "k");
    symlink(Path("keep").c_str(), Path("tree/link").c_str());
    symlink(Path("keep").c_str(), Path("linkdir").c_str());

    EXPECT_EQ(RemoveTree(FromMultiByte(Path("tree"))), 0u);
    EXPECT_FALSE(PathExists(Path("tree")));
    EXPECT_EQ(ReadFile(Path("keep/k")), "k") << "links are not followed";

    EXPECT_EQ(RemoveTree(FromMultiByte(Path("linkdir"))), 0u);
    EXPECT_FALSE(PathExists(Path("linkdir")));
    EXPECT_EQ(RemoveFile(FromMultiByte(Path("keep/k"))), 0u);
    EXPECT_FALSE(PathExists(Path("keep/k")));

    symlink(Path("keep").c_str(), Path("link2").c_str());
    EXPECT_EQ(RemoveFile(FromMultiByte(Path("link2"))), 0u);
    EXPECT_FALSE(PathExists(Path("link2")));
    EXPECT_TRUE(IsDirectory(Path("keep")));

    EXPECT_EQ(RemoveTree(FromMultiByte(Path("missing"))), 0u);
    EXPECT_EQ(RemoveFile(FromMultiByte(Path("missing"))), 0u);
    EXPECT_EQ(RemoveFile(FromMultiByte(Path("keep"))), 0u) << "rm -f refuses a directory, still 0";
    EXPECT_TRUE(IsDirectory(Path("keep")));
    EXPECT_EQ(Listing(dir_.path()), std::set<std::string>{"keep"});
}

TEST_P(FileCommandsTest, UtilityThatCannotStartGives87) {
    SetCommandFastPaths(false);
    const ScopedEnv path("PATH", cwd_.path());  // holds no utilities
    EXPECT_EQ(CreateDirectoryTree(FromMultiByte(Path("x"))), ERR_INVALID_PARAMETER);
    WriteFile(Path("s"), "");
    EXPECT_EQ(MovePath(FromMultiByte(Path("s")), FromMultiByte(Path("t"))), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RemoveTree(FromMultiByte(Path("s"))), 0u);
    EXPECT_EQ(RemoveFile(FromMultiByte(Path("s"))), 0u);
    EXPECT_TRUE(PathExists(Path("s")));
    EXPECT_FALSE(PathExists(Path("x")));
}

// A utility that dies by a signal, or ends with a status mv never gives for a
// move, has moved nothing; and no utility writes on the user's terminal.
TEST_P(FileCommandsTest, UtilityKilledOrFailingOddlyIsNoSuccessAndSaysNothing) {
    SetCommandFastPaths(false);
    const TempDir bin;
    for (const char* body : {"kill -KILL $$", "echo noise >&2; exit 4"}) {
        WriteFile(bin.path("mv"), std::string("#!/bin/sh\n") + body + "\n");
        WriteFile(bin.path("rm"), "#!/bin/sh\necho noise >&2\nexit 1\n");
        ASSERT_EQ(::chmod(bin.path("mv").c_str(), 0755), 0);
        ASSERT_EQ(::chmod(bin.path("rm").c_str(), 0755), 0);
        const ScopedEnv path("PATH", bin.path() + ":/usr/bin:/bin");
        WriteFile(Path("s"), "");
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(MovePath(FromMultiByte(Path("s")), FromMultiByte(Path("t"))), ERR_INVALID_PARAMETER) << body;
        EXPECT_EQ(RemoveFile(FromMultiByte(Path("s"))), 0u);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << body;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FileCommandsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& test) {
                             return test.param ? "Direct" : "Utility";
                         });

}  // namespace
