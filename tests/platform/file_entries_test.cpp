#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/result_codes.h"
#include "platform/file_entries.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

// A refused operation names its errno, the code the rest of the program
// reports for it and the path or name it was given; a success carries none.
TEST(FileEntryFailures, CarryCodeErrnoAndTheNameActedOn) {
    TempDir temp;
    OwnedDescriptor root;
    ASSERT_FALSE(OpenDirectoryPath(temp.path(), DirectoryAccess::Read, root).Failed());

    const Failure made = MakeDirectoryAt(root.Get(), "sub", 0700);
    EXPECT_FALSE(made.Failed());
    EXPECT_TRUE(made.Empty());

    const Failure again = MakeDirectoryAt(root.Get(), "sub", 0700);
    EXPECT_EQ(again.code, ERR_INVALID_PARAMETER);
    EXPECT_EQ(again.error, EEXIST);
    EXPECT_EQ(again.path, "sub");

    OwnedDescriptor opened;
    const Failure missing = OpenDirectoryAt(root.Get(), "absent", opened);
    EXPECT_EQ(missing.code, ERR_NOT_FOUND);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(missing.path, "absent");
    EXPECT_FALSE(opened.IsOpen());

    ASSERT_EQ(::symlinkat("sub", root.Get(), "link"), 0);
    const Failure link = OpenDirectoryAt(root.Get(), "link", opened);
    EXPECT_EQ(link.error, ELOOP);
    EXPECT_EQ(link.path, "link");

    const Failure relative = OpenDirectoryPath("relative/path", DirectoryAccess::LookUp, opened);
    EXPECT_EQ(relative.error, EINVAL);
    EXPECT_EQ(relative.path, "relative/path");

    // Removing what is not there is no failure at all.
    EXPECT_TRUE(RemoveEntryAt(root.Get(), "absent").Empty());
    EXPECT_TRUE(RemoveDirectoryAt(root.Get(), "absent").Empty());
    EXPECT_TRUE(PurgeTreeAt(root.Get(), "absent").Empty());

    // A taken name is refused with the name that was wanted, and both stay.
    WriteFile(temp.path("from"), "new");
    WriteFile(temp.path("to"), "old");
    const Failure taken = PlaceWithoutReplacing(root.Get(), "from", "to");
    EXPECT_EQ(taken.error, EEXIST);
    EXPECT_EQ(taken.path, "to");
    EXPECT_EQ(ReadFile(temp.path("to")), "old");
    EXPECT_EQ(ReadFile(temp.path("from")), "new");

    // An operation on a descriptor alone has no path to name.
    EntryIdentity identity;
    const Failure closed = IdentityOf(-1, identity);
    EXPECT_EQ(closed.error, EBADF);
    EXPECT_TRUE(closed.path.empty());
}

// The installation's view of what stands at a name: a file, a directory or a
// link (with what it points to), and Other for anything else, which it
// refuses alike.
TEST(ExamineEntryAt, TellsFilesDirectoriesAndLinksApartAndCallsTheRestOther) {
    TempDir temp;
    OwnedDescriptor root;
    ASSERT_FALSE(OpenDirectoryPath(temp.path(), DirectoryAccess::LookUp, root).Failed());
    WriteFile(temp.path("file"), "x");
    const timespec times[2] = {{1262304000, 0}, {1262304000, 0}};
    ASSERT_EQ(::utimensat(root.Get(), "file", times, 0), 0);
    ASSERT_FALSE(MakeDirectoryAt(root.Get(), "directory", 0700).Failed());
    ASSERT_EQ(::mkfifo(temp.path("fifo").c_str(), 0600), 0);
    for (const char* target : {"file", "directory", "fifo", "absent"}) {
        ASSERT_EQ(::symlinkat(target, root.Get(), (std::string("to-") + target).c_str()), 0) << target;
    }

    const auto examine = [&](const std::string& name) {
        EntryStatus status;
        const Failure failed = ExamineEntryAt(root.Get(), name, status);
        EXPECT_FALSE(failed.Failed()) << name;
        return status;
    };
    EXPECT_EQ(examine("file").kind, EntryKind::File);
    EXPECT_EQ(examine("file").modified, 1262304000);
    EXPECT_EQ(examine("directory").kind, EntryKind::Directory);
    EXPECT_EQ(examine("fifo").kind, EntryKind::Other);
    EXPECT_EQ(examine("absent").kind, EntryKind::Missing);
    EXPECT_EQ(examine("file/below").kind, EntryKind::Missing) << "a file is no parent: nothing is there";

    const std::vector<std::pair<std::string, EntryKind>> links = {
        {"to-file", EntryKind::File}, {"to-directory", EntryKind::Directory},
        {"to-fifo", EntryKind::Other}, {"to-absent", EntryKind::Missing}};
    for (const auto& [name, target] : links) {
        const EntryStatus link = examine(name);
        EXPECT_EQ(link.kind, EntryKind::Link) << name;
        EXPECT_EQ(link.target, target) << name;
    }
    EXPECT_EQ(examine("to-file").modified, 1262304000) << "a link to a file has the file's time";

    EntryStatus device;
    ASSERT_FALSE(ExamineEntry("/dev/null", device).Failed());
    EXPECT_EQ(device.kind, EntryKind::Other);
}

}  // namespace
