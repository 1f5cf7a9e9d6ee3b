// The services the installation reaches the system through: a new file made
// and written, read back at an offset or copied in the kernel, its times set;
// private descriptor copies; opening names without following links; the
// owner and mode of what is open; the file system as a whole.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/directory_open.h"
#include "platform/entry_details.h"
#include "platform/file_entries.h"
#include "platform/kernel_copy.h"
#include "platform/mounted_file_system.h"
#include "platform/open_file.h"
#include "platform/user_accounts.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

TEST(NewFile, IsMadeOnlyWhereNothingStandsAndNeverThroughALink) {
    TempDir dir;
    OwnedDescriptor directory;
    ASSERT_EQ(OpenNamedDirectory(dir.path(""), DirectoryAccess::LookUp, directory), 0);
    const mode_t mask = ::umask(022);
    OwnedDescriptor file;
    ASSERT_FALSE(CreateNewFileAt(directory.Get(), "new", 0640, file).Failed());
    ::umask(mask);
    ASSERT_EQ(WriteOpenFile(file.Get(), "0123456789"), 0);
    ASSERT_EQ(SyncOpenFileData(file.Get()), 0);
    EXPECT_EQ(ReadFile(dir.path("new")), "0123456789");

    EntryDetails details;
    ASSERT_EQ(DescribeOpenEntry(file.Get(), details), 0);
    EXPECT_EQ(details.kind, EntryKind::File);
    EXPECT_EQ(details.size, 10u);
    EXPECT_EQ(details.permissions, 0640u);
    EXPECT_EQ(details.owner, static_cast<uint32_t>(::getuid()));
    EXPECT_EQ(details.owner, ThisUserId());

    // Over an existing file or a link (even a dangling one) nothing is made
    // and nothing is changed.
    ASSERT_EQ(::symlink("elsewhere", dir.path("link").c_str()), 0);
    OwnedDescriptor refused;
    const Failure taken = CreateNewFileAt(directory.Get(), "new", 0600, refused);
    EXPECT_EQ(taken.error, EEXIST);
    EXPECT_EQ(taken.path, "new");
    EXPECT_EQ(CreateNewFileAt(directory.Get(), "link", 0600, refused).error, EEXIST);
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_FALSE(PathExists(dir.path("elsewhere")));
    EXPECT_EQ(ReadFile(dir.path("new")), "0123456789");

    // By path from the current directory's stand-in.
    OwnedDescriptor byPath;
    EXPECT_FALSE(CreateNewFileAt(kCurrentDirectoryDescriptor, dir.path("by-path"), 0600, byPath).Failed());
    EXPECT_TRUE(PathExists(dir.path("by-path")));
}

TEST(OpenFileAt, ReadsAtAnOffsetWithoutMovingThePosition) {
    TempDir dir;
    WriteFile(dir.path("data"), "abcdefghij");
    OwnedDescriptor directory;
    ASSERT_EQ(OpenNamedDirectory(dir.path(""), directory), 0);
    OwnedDescriptor file;
    ASSERT_FALSE(OpenForReadingAt(directory.Get(), "data", file).Failed());
    char bytes[8] = {};
    EXPECT_EQ(ReadOpenFileAt(file.Get(), bytes, 4, 3), 4);
    EXPECT_EQ(std::string(bytes, 4), "defg");
    EXPECT_EQ(ReadOpenFileAt(file.Get(), bytes, 8, 10), 0) << "the end of the file";
    EXPECT_EQ(::lseek(file.Get(), 0, SEEK_CUR), 0) << "the position stays where it was";
    EXPECT_EQ(ReadOpenFileAt(-1, bytes, 1, 0), -1);
    EXPECT_EQ(errno, EBADF);

    // A link is not followed; a FIFO without a writer is opened, not waited for.
    ASSERT_EQ(::symlink("data", dir.path("link").c_str()), 0);
    OwnedDescriptor refused;
    EXPECT_EQ(OpenForReadingAt(directory.Get(), "link", refused).error, ELOOP);
    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
    OwnedDescriptor fifo;
    ASSERT_FALSE(OpenForReadingAt(directory.Get(), "fifo", fifo).Failed());
    EntryDetails details;
    ASSERT_EQ(DescribeOpenEntry(fifo.Get(), details), 0);
    EXPECT_EQ(details.kind, EntryKind::Fifo);
    EXPECT_EQ(OpenForReadingAt(directory.Get(), "missing", refused).error, ENOENT);
}

TEST(OpenFile, TimesToTheNanosecondAndPrivateCopies) {
    TempDir dir;
    WriteFile(dir.path("f"), "x");
    OwnedDescriptor file(::open(dir.path("f").c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(SetOpenFileTimes(file.Get(), 1262304000, 123456700), 0);
    EntryDetails details;
    ASSERT_EQ(DescribeEntry(dir.path("f"), LinkHandling::DoNotFollow, details), 0);
    EXPECT_EQ(details.modifiedSeconds, 1262304000);
    EXPECT_EQ(details.modifiedNanoseconds, 123456700);
    EXPECT_EQ(SetOpenFileTimes(-1, 0, 0), EBADF);

    OwnedDescriptor copy;
    ASSERT_EQ(DuplicatePrivateDescriptor(file.Get(), copy), 0);
    EXPECT_NE(copy.Get(), file.Get());
    EXPECT_NE(::fcntl(copy.Get(), F_GETFD) & FD_CLOEXEC, 0) << "a program started later does not inherit it";
    EntryIdentity original;
    EntryIdentity copied;
    ASSERT_FALSE(IdentityOf(file.Get(), original).Failed());
    ASSERT_FALSE(IdentityOf(copy.Get(), copied).Failed());
    EXPECT_EQ(original, copied);
    OwnedDescriptor none;
    EXPECT_EQ(DuplicatePrivateDescriptor(-1, none), EBADF);
    EXPECT_FALSE(none.IsOpen());
}

TEST(KernelCopy, CopiesFromAnOffsetAndAdvancesIt) {
    TempDir dir;
    WriteFile(dir.path("from"), "0123456789");
    OwnedDescriptor from(::open(dir.path("from").c_str(), O_RDONLY | O_CLOEXEC));
    OwnedDescriptor to(::open(dir.path("to").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    ASSERT_TRUE(from.IsOpen() && to.IsOpen());
    int64_t offset = 2;
    int64_t copied = 0;
    while (copied < 5) {
        const int64_t count = CopyInKernel(from.Get(), &offset, to.Get(), static_cast<size_t>(5 - copied));
        if (count < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            GTEST_SKIP() << "this file system does not copy inside the kernel";
        }
        ASSERT_GT(count, 0);
        copied += count;
    }
    EXPECT_EQ(offset, 7);
    EXPECT_EQ(ReadFile(dir.path("to")), "23456");
    EXPECT_EQ(::lseek(from.Get(), 0, SEEK_CUR), 0) << "the source's own position is not moved";
    EXPECT_EQ(CopyInKernel(from.Get(), &offset, -1, 1), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(DirectoryAccess, ReadableAndLookUpOnlyDescriptors) {
    TempDir dir;
    MakeDirectories(dir.path("sub"));
    WriteFile(dir.path("sub/a"), "a");
    ASSERT_EQ(::symlink("sub", dir.path("alias").c_str()), 0);
    OwnedDescriptor parent;
    ASSERT_EQ(OpenNamedDirectory(dir.path(""), DirectoryAccess::LookUp, parent), 0);

    OwnedDescriptor lookUp;
    ASSERT_FALSE(OpenDirectoryAt(parent.Get(), "sub", lookUp).Failed());
    std::vector<std::string> names;
    EXPECT_EQ(ListDirectoryAt(lookUp.Get(), names).error, 0) << "a look-up descriptor is reopened to be read";
    OwnedDescriptor readable;
    ASSERT_FALSE(OpenDirectoryAt(parent.Get(), "sub", readable, DirectoryAccess::Read).Failed());
    EXPECT_EQ(SyncOpenFile(readable.Get()), 0) << "a readable descriptor can be synced";
    EXPECT_EQ(SyncOpenFile(lookUp.Get()), EBADF) << "an O_PATH one cannot";
    OwnedDescriptor link;
    EXPECT_EQ(OpenDirectoryAt(parent.Get(), "alias", link, DirectoryAccess::Read).error, ELOOP);
    EXPECT_EQ(OpenDirectoryAt(parent.Get(), "alias", link).error, ELOOP);
    OwnedDescriptor same;
    ASSERT_FALSE(OpenDirectoryAt(readable.Get(), ".", same, DirectoryAccess::Read).Failed());
    EntryDetails details;
    ASSERT_EQ(DescribeOpenEntry(same.Get(), details), 0);
    EXPECT_EQ(details.kind, EntryKind::Directory);

    // A named directory is reached through links, as a shell would.
    OwnedDescriptor named;
    ASSERT_EQ(OpenNamedDirectory(dir.path("alias"), DirectoryAccess::LookUp, named), 0);
    EXPECT_EQ(OpenNamedDirectory(dir.path("sub/a"), DirectoryAccess::LookUp, named), ENOTDIR);
}

TEST(MountedFileSystem, SyncsWholeAndTellsAUserSpaceFileSystem) {
    TempDir dir;
    OwnedDescriptor directory;
    ASSERT_EQ(OpenNamedDirectory(dir.path(""), DirectoryAccess::Read, directory), 0);
    EXPECT_EQ(SyncFileSystemOf(directory.Get()), 0);
    EXPECT_EQ(SyncFileSystemOf(-1), EBADF);
    OwnedDescriptor lookUp;
    ASSERT_EQ(OpenNamedDirectory(dir.path(""), DirectoryAccess::LookUp, lookUp), 0);
    EXPECT_EQ(SyncFileSystemOf(lookUp.Get()), EBADF) << "a look-up descriptor reaches no file system";
    EXPECT_FALSE(OnUserSpaceFileSystem(-1)) << "what cannot be told is no FUSE file system";
    struct statfs system {};
    ASSERT_EQ(::fstatfs(directory.Get(), &system), 0);
    EXPECT_EQ(OnUserSpaceFileSystem(directory.Get()), system.f_type == 0x65735546);
}

}  // namespace
