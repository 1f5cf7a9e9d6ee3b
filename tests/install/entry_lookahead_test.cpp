// The lookahead beside the planning: each look it gives is the given entry's,
// taken in the directory it names without following a link, and nothing of
// it outlives a Discard.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/conversion.h"
#include "install/entry_lookahead.h"
#include "platform/owned_descriptor.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

KitFileEntry Entry(const std::string& name) {
    KitFileEntry entry;
    entry.name = FromMultiByte(AString(name.c_str()));
    return entry;
}

EntryIdentity IdentityOfPath(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return EntryIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

// Gives the lookahead time to get ahead of a planning that has just started it.
void LetItLook() { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }

}  // namespace

TEST(EntryLookaheadTest, EachLookIsItsEntrysTakenInTheDirectoryItNames) {
    TempDir tmp;
    const std::string root = tmp.path("t");
    MakeDirectories(root + "/a");
    WriteFile(root + "/a/x", "x");
    SetModificationTime(root + "/a/x", 1262304000);
    WriteFile(root + "/top", "top");
    MakeDirectories(tmp.path("elsewhere"));
    WriteFile(tmp.path("elsewhere/x"), "not the template directory's");
    ASSERT_EQ(::symlink(tmp.path("elsewhere").c_str(), (root + "/link").c_str()), 0);
    const std::vector<KitFileEntry> entries = {Entry("first"), Entry("a\\x"),   Entry("a\\y"),
                                               Entry("link\\x"), Entry("..\\up"), Entry("top")};
    OwnedDescriptor rootDirectory(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_GE(rootDirectory.Get(), 0);
    EntryLookahead ahead(entries, rootDirectory.Get());

    for (int round = 0; round < 2; ++round) {
        const std::string what = round == 0 ? "first round" : "after a Discard";
        EXPECT_EQ(ahead.Take(0), nullptr) << what << ": the planning's own entry is never looked ahead";
        LetItLook();
        const EntryLookahead::Look* x = ahead.Take(1);
        ASSERT_NE(x, nullptr) << what;
        EXPECT_TRUE(x->named && x->examined) << what;
        EXPECT_EQ(x->relative, "a/x") << what;
        EXPECT_EQ(x->directory, IdentityOfPath(root + "/a")) << what;
        EXPECT_EQ(x->error, 0) << what;
        EXPECT_EQ(x->status.kind, EntryKind::File) << what;
        EXPECT_EQ(x->status.modified, round == 0 ? 1262304000 : 978307200) << what;
        // Taken again (its entry waits for the next batch): the planning's own, the look being spent.
        EXPECT_EQ(ahead.Take(1), nullptr) << what;

        const EntryLookahead::Look* y = ahead.Take(2);
        ASSERT_NE(y, nullptr) << what;
        EXPECT_TRUE(y->examined) << what;
        EXPECT_EQ(y->status.kind, round == 0 ? EntryKind::Missing : EntryKind::File) << what;

        // Not followed: no look, and the planning finds the link itself.
        const EntryLookahead::Look* linked = ahead.Take(3);
        ASSERT_NE(linked, nullptr) << what;
        EXPECT_TRUE(linked->named) << what;
        EXPECT_FALSE(linked->examined) << what;

        const EntryLookahead::Look* up = ahead.Take(4);
        ASSERT_NE(up, nullptr) << what;
        EXPECT_FALSE(up->named) << what << ": a name the planning refuses is not looked at";
        EXPECT_FALSE(up->examined) << what;

        const EntryLookahead::Look* top = ahead.Take(5);
        ASSERT_NE(top, nullptr) << what;
        EXPECT_EQ(top->directory, IdentityOfPath(root)) << what;
        EXPECT_EQ(top->status.kind, EntryKind::File) << what;

        // What changes after a Discard is seen by the next looks.
        ahead.Discard();
        SetModificationTime(root + "/a/x", 978307200);
        WriteFile(root + "/a/y", "y");
    }
}

// Over several times its ring of looks, the looks given belong to their
// entries; the planning may find any of them not ready and look itself, but
// a planning that pauses finds the next entries looked at: the lookahead
// refills its ring as the planning takes them.
TEST(EntryLookaheadTest, LooksStayWithTheirEntriesAndAreRefilledAsTheyAreTaken) {
    TempDir tmp;
    const std::string root = tmp.path("t");
    MakeDirectories(root + "/d");
    std::vector<KitFileEntry> entries;
    for (int i = 0; i < 10000; ++i) {
        if (i % 3 == 0) WriteFile(root + "/d/f" + std::to_string(i), "");
        entries.push_back(Entry("d\\f" + std::to_string(i)));
    }
    OwnedDescriptor rootDirectory(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_GE(rootDirectory.Get(), 0);
    EntryLookahead ahead(entries, rootDirectory.Get());
    size_t given = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i % 1000 == 1) LetItLook();
        const EntryLookahead::Look* look = ahead.Take(i);
        if (look == nullptr) continue;
        ++given;
        ASSERT_TRUE(look->named && look->examined) << i;
        EXPECT_EQ(look->relative, "d/f" + std::to_string(i));
        EXPECT_EQ(look->status.kind, i % 3 == 0 ? EntryKind::File : EntryKind::Missing) << i;
    }
    EXPECT_GT(given, entries.size() * 98 / 100) << given;
}
