#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/conversion.h"
#include "platform/file_system.h"
#include "platform/owned_descriptor.h"
#include "platform_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

class CreateTempFileTest : public ::testing::Test {
protected:
    // The new file's name below `directory`, checked to be a fresh empty file
    // readable only by its owner; empty on failure.
    std::string CreateIn(const std::string& directory, const std::string& expectedDirectory,
                         const std::string& prefix = "edf") {
        WString path;
        EXPECT_EQ(CreateTempFile(FromMultiByte(directory), FromMultiByte(prefix), path), 0u);
        const std::string bytes = ToMultiByteString(path);
        const std::string start = expectedDirectory + "/" + prefix;
        EXPECT_EQ(bytes.compare(0, start.size(), start), 0) << bytes;
        EXPECT_EQ(bytes.size(), start.size() + 6) << bytes;
        const struct stat status = StatOf(bytes);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_size, 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        return bytes;
    }
    TempDir given_;
    TempDir other_;
};

TEST_F(CreateTempFileTest, UsesTheGivenDirectoryWithoutTmpdir) {
    const ScopedEnv tmpdir("TMPDIR", std::nullopt);
    const std::string first = CreateIn(given_.path(), given_.path());
    const std::string second = CreateIn(given_.path(), given_.path());
    EXPECT_NE(first, second);
    CreateIn(given_.path() + "//", given_.path(), "Vx");
}

TEST_F(CreateTempFileTest, TmpdirNamingADirectoryWins) {
    const ScopedEnv tmpdir("TMPDIR", other_.path());
    CreateIn(given_.path(), other_.path());
    CreateIn(given_.path("missing"), other_.path());
}

TEST_F(CreateTempFileTest, UnusableTmpdirFallsBackToTheGivenDirectory) {
    WriteFile(other_.path("file"), "");
    {
        const ScopedEnv tmpdir("TMPDIR", other_.path("file"));
        CreateIn(given_.path(), given_.path());
    }
    {
        const ScopedEnv tmpdir("TMPDIR", other_.path("missing"));
        CreateIn(given_.path(), given_.path());
    }
    {
        const ScopedEnv tmpdir("TMPDIR", "");
        CreateIn(given_.path(), given_.path());
    }
}

TEST_F(CreateTempFileTest, NoUsableDirectoryMeansTmp) {
    const ScopedEnv tmpdir("TMPDIR", std::nullopt);
    const std::string made = CreateIn(given_.path("missing"), "/tmp", "vxk5t");
    EXPECT_EQ(unlink(made.c_str()), 0);
}

TEST_F(CreateTempFileTest, FailureReportsTheNameTried) {
    const ScopedEnv tmpdir("TMPDIR", std::nullopt);
    const std::string longPrefix(300, 'p');  // longer than a file name may be
    WString path;
    EXPECT_EQ(CreateTempFile(FromMultiByte(given_.path()), FromMultiByte(longPrefix), path), ERR_TEMP_NOT_CREATED);
    EXPECT_EQ(ToMultiByteString(path).compare(0, given_.path().size() + 301, given_.path() + "/" + longPrefix), 0);
    EXPECT_FALSE(PathExists(ToMultiByteString(path)));
}

TEST_F(CreateTempFileTest, NeverFollowsAPlantedLink) {
    // Whatever name comes out, the file is new: an existing entry is never reused.
    const ScopedEnv tmpdir("TMPDIR", std::nullopt);
    for (int i = 0; i < 50; ++i) {
        WString path;
        ASSERT_EQ(CreateTempFile(FromMultiByte(given_.path()), u"x", path), 0u);
        struct stat status;
        ASSERT_EQ(lstat(ToMultiByteString(path).c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_size, 0);
        WriteFile(ToMultiByteString(path), "used");
    }
}

// The unnamed file leaves no name in the directory while it is open or after;
// the named way (file systems without unnamed files) unlinks its name at
// once. Both give a file open for reading and writing, private to the owner.
TEST(CreateUnnamedTempFile, LeavesNoNameEitherWay) {
    TempDir dir;
    const ScopedEnv tmpdir("TMPDIR", dir.path());
    for (const bool unnamed : {true, false}) {
        AllowUnnamedTempFiles(unnamed);
        FileHandle handle = INVALID_FILE_HANDLE;
        ASSERT_EQ(CreateUnnamedTempFile(FromMultiByte(AString("/nowhere")), u"edf", handle), 0u) << unnamed;
        OwnedDescriptor file(DescriptorOf(handle));
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << unnamed;
        struct stat status {};
        ASSERT_EQ(fstat(DescriptorOf(handle), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_nlink, 0u) << unnamed;
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        ASSERT_EQ(pwrite(DescriptorOf(handle), "abc", 3, 0), 3);
        char back[3] = {};
        ASSERT_EQ(pread(DescriptorOf(handle), back, 3, 0), 3);
        EXPECT_EQ(std::string(back, 3), "abc");
    }
    AllowUnnamedTempFiles(true);
}

}  // namespace
