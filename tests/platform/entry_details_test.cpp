#include "platform/entry_details.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/directory_open.h"
#include "platform/open_file.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

TEST(DescribeEntry, TellsTypeSizeTimeAndIdentityAndFollowsLinksOnlyWhenAsked) {
    TempDir dir;
    WriteFile(dir.path("file"), "twelve bytes");
    const timespec times[2] = {{1614834367, 123456789}, {1614834367, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.path("file").c_str(), times, 0), 0);
    ASSERT_EQ(::symlink("file", dir.path("link").c_str()), 0);
    ASSERT_EQ(::symlink("absent", dir.path("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);

    EntryDetails file;
    ASSERT_EQ(DescribeEntry(dir.path("file"), LinkHandling::DoNotFollow, file), 0);
    EXPECT_EQ(file.kind, EntryKind::File);
    EXPECT_EQ(file.size, 12u);
    EXPECT_EQ(file.modifiedSeconds, 1614834367);
    EXPECT_EQ(file.modifiedNanoseconds, 123456789);
    struct stat status {};
    ASSERT_EQ(::stat(dir.path("file").c_str(), &status), 0);
    EXPECT_EQ(file.identity, (EntryIdentity{status.st_dev, status.st_ino}));

    EntryDetails link;
    ASSERT_EQ(DescribeEntry(dir.path("link"), LinkHandling::DoNotFollow, link), 0);
    EXPECT_EQ(link.kind, EntryKind::Link);
    ASSERT_EQ(DescribeEntry(dir.path("link"), LinkHandling::Follow, link), 0);
    EXPECT_EQ(link.kind, EntryKind::File);
    EXPECT_EQ(link.identity, file.identity);

    EntryDetails other;
    EXPECT_EQ(DescribeEntry(dir.path("dangling"), LinkHandling::Follow, other), ENOENT);
    EXPECT_EQ(DescribeEntry(dir.path("missing"), LinkHandling::DoNotFollow, other), ENOENT);
    ASSERT_EQ(DescribeEntry(dir.path("fifo"), LinkHandling::Follow, other), 0);
    EXPECT_EQ(other.kind, EntryKind::Fifo);
    ASSERT_EQ(DescribeEntry(dir.path(""), LinkHandling::Follow, other), 0);
    EXPECT_EQ(other.kind, EntryKind::Directory);
}

// A socket bound at `path`, closed again: the entry stays. False when the
// path is too long for a socket's address.
bool MakeSocketEntry(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    path.copy(address.sun_path, path.size());
    const OwnedDescriptor bound(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return bound.IsOpen() && ::bind(bound.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

TEST(DescribeEntry, NamesTheSpecialFilesEachByItsKind) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("fifo", dir.path("to-fifo").c_str()), 0);

    EntryDetails details;
    ASSERT_EQ(DescribeEntry(dir.path("to-fifo"), LinkHandling::DoNotFollow, details), 0);
    EXPECT_EQ(details.kind, EntryKind::Link);
    ASSERT_EQ(DescribeEntry(dir.path("to-fifo"), LinkHandling::Follow, details), 0);
    EXPECT_EQ(details.kind, EntryKind::Fifo) << "a followed link is named by what it points to";
    ASSERT_EQ(DescribeEntry("/dev/null", LinkHandling::Follow, details), 0);
    EXPECT_EQ(details.kind, EntryKind::CharacterDevice);
    if (!MakeSocketEntry(dir.path("socket"))) GTEST_SKIP() << "no socket can be bound at " << dir.path("socket");
    ASSERT_EQ(DescribeEntry(dir.path("socket"), LinkHandling::DoNotFollow, details), 0);
    EXPECT_EQ(details.kind, EntryKind::Socket);
}

TEST(OpenNamedDirectory, FollowsALinkAndRefusesAFile) {
    TempDir dir;
    MakeDirectories(dir.path("real"));
    WriteFile(dir.path("real/inside"), "x");
    WriteFile(dir.path("file"), "x");
    ASSERT_EQ(::symlink("real", dir.path("alias").c_str()), 0);

    OwnedDescriptor opened;
    ASSERT_EQ(OpenNamedDirectory(dir.path("alias"), opened), 0);
    struct stat status {};
    EXPECT_EQ(::fstatat(opened.Get(), "inside", &status, 0), 0) << "the link's target was opened";
    OwnedDescriptor refused;
    EXPECT_EQ(OpenNamedDirectory(dir.path("file"), refused), ENOTDIR);
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(OpenNamedDirectory(dir.path("missing"), refused), ENOENT);
}

TEST(OpenFile, DuplicateModeSizeAndSyncActOnTheSameFile) {
    TempDir dir;
    OwnedDescriptor file(::open(dir.path("kit").c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    ASSERT_TRUE(file.IsOpen());
    OwnedDescriptor copy;
    ASSERT_EQ(DuplicateDescriptor(file.Get(), copy), 0);
    ASSERT_NE(copy.Get(), file.Get());
    ASSERT_EQ(::write(file.Get(), "abcdef", 6), 6);
    ASSERT_EQ(file.Close(), 0);

    uint64_t size = 0;
    EXPECT_EQ(OpenFileSize(copy.Get(), size), 0);
    EXPECT_EQ(size, 6u) << "the second descriptor sees what the first wrote";
    EXPECT_EQ(SyncOpenFile(copy.Get()), 0);
    EXPECT_EQ(SetOpenFileMode(copy.Get(), 0640), 0);
    struct stat status {};
    ASSERT_EQ(::stat(dir.path("kit").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);

    const mode_t mask = ::umask(027);
    EXPECT_EQ(DefaultNewFileMode(), 0640u);
    EXPECT_EQ(DefaultNewFileMode(), 0640u) << "reading the umask leaves it as it was";
    ::umask(mask);

    OwnedDescriptor none;
    EXPECT_EQ(DuplicateDescriptor(-1, none), EBADF);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_EQ(OpenFileSize(-1, size), EBADF);
}

TEST(OwnedDescriptor, ReleaseGivesTheDescriptorUpAndAMoveTakesIt) {
    TempDir dir;
    WriteFile(dir.path("f"), "x");
    OwnedDescriptor first(::open(dir.path("f").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(first.IsOpen());
    const int fd = first.Get();
    OwnedDescriptor second(std::move(first));
    EXPECT_FALSE(first.IsOpen());  // NOLINT: moved from on purpose
    EXPECT_EQ(second.Get(), fd);
    EXPECT_EQ(second.Release(), fd);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(::fcntl(fd, F_GETFD), FD_CLOEXEC) << "a released descriptor stays open";
    EXPECT_EQ(::close(fd), 0);
}

}  // namespace
