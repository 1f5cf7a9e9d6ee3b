#include "base/conversion.h"
#include "platform/file_finder.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

// Every entry a search yields, name -> attributes; fails on a repeated name.
std::map<std::string, uint32_t> Enumerate(const std::string& pattern) {
    std::map<std::string, uint32_t> entries;
    FileFinder finder;
    InitFinder(finder);
    for (bool found = FindFirstEntry(finder, FromMultiByte(pattern)); found; found = FindNextEntry(finder)) {
        const bool inserted = entries.emplace(ToMultiByteString(GetEntryName(finder)), GetEntryAttributes(finder)).second;
        EXPECT_TRUE(inserted) << ToMultiByteString(GetEntryName(finder));
    }
    EXPECT_EQ(finder.directory, nullptr) << "an exhausted search holds no stream";
    CloseFinder(finder);
    return entries;
}

class FileFinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir_.path("a"), "a");
        WriteFile(dir_.path("b"), "b");
    }
    std::string PatternIn(const std::string& pattern) const { return dir_.path(pattern); }
    TempDir dir_;
};

TEST_F(FileFinderTest, StarListsEveryEntryWithDotsAndAttributes) {
    using Entries = std::map<std::string, uint32_t>;
    EXPECT_EQ(Enumerate(PatternIn("*")), (Entries{{".", 16}, {"..", 16}, {"a", 0}, {"b", 0}}));

    MakeDirectories(dir_.path("sub"));
    WriteFile(dir_.path(".hidden"), "");
    symlink(dir_.path("sub").c_str(), dir_.path("tosub").c_str());
    EXPECT_EQ(Enumerate(PatternIn("*")), (Entries{{".", 16}, {"..", 16}, {".hidden", 0}, {"a", 0}, {"b", 0},
                                             {"sub", 16}, {"tosub", 16}}))
        << "* matches leading dots; links are followed";
}

TEST_F(FileFinderTest, PatternsSelectNames) {
    using Entries = std::map<std::string, uint32_t>;
    WriteFile(dir_.path("one.txt"), "");
    WriteFile(dir_.path("two.txt"), "");
    WriteFile(dir_.path("txt"), "");
    WriteFile(dir_.path("a\\x"), "");
    WriteFile(dir_.path("ax"), "");
    EXPECT_EQ(Enumerate(PatternIn("*.txt")), (Entries{{"one.txt", 0}, {"two.txt", 0}}));
    EXPECT_EQ(Enumerate(PatternIn("a\\*")), (Entries{{"a\\x", 0}})) << "a backslash is an ordinary character";
    EXPECT_EQ(Enumerate(PatternIn("?x*")), (Entries{{"ax", 0}, {"txt", 0}}));
}

TEST_F(FileFinderTest, OtherFileTypesAreNotDirectories) {
    // Sockets and block devices share the mode bit 0x4000 with directories.
    const std::string socketPath = dir_.path("sock");
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    EXPECT_EQ(Enumerate(PatternIn("so*")), (std::map<std::string, uint32_t>{{"sock", 0}}));
}

TEST_F(FileFinderTest, WithoutStarOnePathIsTested) {
    FileFinder finder;
    InitFinder(finder);
    ASSERT_TRUE(FindFirstEntry(finder, FromMultiByte(PatternIn("a"))));
    EXPECT_EQ(GetEntryName(finder), u"a");
    EXPECT_EQ(GetEntryAttributes(finder), 0u);
    EXPECT_EQ(finder.directory, nullptr);
    EXPECT_FALSE(FindNextEntry(finder));

    EXPECT_FALSE(FindFirstEntry(finder, FromMultiByte(PatternIn("missing"))));
    EXPECT_FALSE(FindFirstEntry(finder, FromMultiByte(PatternIn("?"))) ) << "? alone is a literal name";

    ASSERT_TRUE(FindFirstEntry(finder, FromMultiByte(dir_.path() + "/")));
    EXPECT_EQ(GetEntryName(finder), u"") << "a pattern ending in / tests the directory";
    EXPECT_EQ(GetEntryAttributes(finder), FILE_ATTR_DIRECTORY);
    CloseFinder(finder);
}

TEST_F(FileFinderTest, MissingOrEmptyDirectoryPartFindsNothing) {
    FileFinder finder;
    InitFinder(finder);
    EXPECT_FALSE(FindFirstEntry(finder, u"/missing/*"));
    EXPECT_EQ(finder.directory, nullptr);
    EXPECT_FALSE(FindFirstEntry(finder, u"/*")) << "the directory part of /* is empty";
    EXPECT_EQ(finder.directory, nullptr);
    CloseFinder(finder);
}

TEST_F(FileFinderTest, PatternWithoutDirectorySearchesTheWorkingDirectory) {
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    const auto entries = Enumerate("*");
    EXPECT_EQ(chdir(old), 0);
    EXPECT_EQ(entries, (std::map<std::string, uint32_t>{{".", 16}, {"..", 16}, {"a", 0}, {"b", 0}}));
}

TEST_F(FileFinderTest, RestartingAndClosingMidSearch) {
    FileFinder finder;
    InitFinder(finder);
    ASSERT_TRUE(FindFirstEntry(finder, FromMultiByte(PatternIn("*"))));
    EXPECT_NE(finder.directory, nullptr);
    ASSERT_TRUE(FindFirstEntry(finder, FromMultiByte(PatternIn("b*"))));
    EXPECT_EQ(GetEntryName(finder), u"b");
    EXPECT_FALSE(FindNextEntry(finder));
    ASSERT_TRUE(FindFirstEntry(finder, FromMultiByte(PatternIn("*"))));
    CloseFinder(finder);
    EXPECT_EQ(finder.directory, nullptr);
    EXPECT_TRUE(finder.pattern.empty() && finder.namePattern.empty() && finder.name.empty());
    EXPECT_FALSE(FindNextEntry(finder));
}

TEST_F(FileFinderTest, VanishedEntryEndsTheSearch) {
    symlink(dir_.path("nowhere").c_str(), dir_.path("dangling").c_str());
    FileFinder finder;
    InitFinder(finder);
    EXPECT_FALSE(FindFirstEntry(finder, FromMultiByte(PatternIn("dang*"))));
    CloseFinder(finder);
}

}  // namespace
