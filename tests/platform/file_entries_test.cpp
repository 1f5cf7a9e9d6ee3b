#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
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

}  // namespace
