// Full file systems, made with small tmpfs mounts (root only; skipped where
// the mount is refused): a temporary directory too small for an original, a
// template file system that the new files fill, and one without room for the
// journal. The originals come out byte for byte, and nothing is ever written
// to the temporary directory.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/install/install_fixture.h"

namespace {

constexpr int64_t kOld = 978307200;   // 2001
constexpr int64_t kNew = 1262304000;  // 2010

class FullDiskTest : public InstallTest {
protected:
    void TearDown() override {
        for (const std::string& point : mounted_) ::umount2(point.c_str(), MNT_DETACH);
        InstallTest::TearDown();
    }

    // A tmpfs of `size` on `directory` (which is made); false when refused.
    bool MountSmall(const std::string& directory, const char* size) {
        MakeDirectories(directory);
        const std::string options = std::string("size=") + size + ",mode=0755";
        if (::mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
        mounted_.push_back(directory);
        return true;
    }

    std::vector<std::string> mounted_;
};

// The originals are set aside on the template directory's own file system: a
// temporary directory too small for the largest of them is no obstacle, and
// nothing is ever written there.
TEST_F(FullDiskTest, TemporaryDirectoryTooSmallForAnOriginalIsNoObstacle) {
    const std::string small = RootPath("small-tmp");
    if (!MountSmall(small, "2m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    ::setenv("TMPDIR", small.c_str(), 1);
    WriteFile(TargetPath("a.txt"), "small original");
    SetModificationTime(TargetPath("a.txt"), kOld);
    WriteFile(TargetPath("big.bin"), std::string(3 * 1024 * 1024, 'o'));
    ASSERT_EQ(::chmod(TargetPath("big.bin").c_str(), 0640), 0);
    SetModificationTime(TargetPath("big.bin"), kOld);
    AddEntry("a.txt", "kit a", TimeAt(kNew));
    AddEntry("new.txt", "kit new", TimeAt(kNew));
    AddEntry("big.bin", "kit big", TimeAt(kNew));
    AddEntry("after.txt", "reached", TimeAt(kNew));

    EXPECT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("big.bin")), "kit big");
    EXPECT_EQ(ReadFile(TargetPath("after.txt")), "reached");
    EXPECT_TRUE(ListNames(small).empty());
}

TEST_F(FullDiskTest, TemplateFileSystemFilledByTheNewFiles) {
    const std::string target = RootPath("small-target");
    if (!MountSmall(target, "2m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    // Originals that fill part of it. The parent is on another file system,
    // so the staging directory is made inside the template directory.
    for (int i = 0; i < 3; ++i) {
        const std::string path = target + "/orig" + std::to_string(i);
        WriteFile(path, std::string(250 * 1024, static_cast<char>('a' + i)));
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(0600 + i)), 0);
        SetModificationTime(path, kOld);
    }
    ASSERT_EQ(::symlink("orig0", (target + "/link").c_str()), 0);
    const TreeSnapshot before = Snapshot(target);
    for (int i = 0; i < 3; ++i) AddEntry("orig" + std::to_string(i), std::string(300 * 1024, 'k'), TimeAt(kNew));
    AddEntry("filler", std::string(1200 * 1024, 'f'), TimeAt(kNew));
    bool insideSeen = false;
    onPost_ = [&](const Post&) { insideSeen = insideSeen || PathExists(target + "/.k5stp0/journal"); };

    EXPECT_EQ(RunJobInto(target + "/"), 87u);
    EXPECT_TRUE(insideSeen);
    EXPECT_EQ(job_.failure.error, ENOSPC);
    EXPECT_FALSE(job_.backupKept);
    EXPECT_EQ(Snapshot(target), before);
    ASSERT_FALSE(posts_.empty());
    EXPECT_EQ(posts_.back().text, "Installation error\nInsufficient space available in the template directory: " +
                                      target + "/");
    EXPECT_TRUE(ListNames(TempPath()).empty());
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "small-target", "t", "tmp"}));

    // Without the filler the same update fits.
    ResetKit();
    for (int i = 0; i < 3; ++i) AddEntry("orig" + std::to_string(i), std::string(300 * 1024, 'k'), TimeAt(kNew));
    ASSERT_EQ(RunJobInto(target + "/"), 0u);
    EXPECT_EQ(ReadFile(target + "/orig2"), std::string(300 * 1024, 'k'));
    EXPECT_FALSE(PathExists(target + "/.k5stp0"));
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

// No room for the staging directory's journal (the file system is out of
// inodes): the job says there is no space and changes nothing.
TEST_F(FullDiskTest, NoRoomForTheJournal) {
    const std::string target = RootPath("no-inodes");
    MakeDirectories(target);
    if (::mount("tmpfs", target.c_str(), "tmpfs", 0, "size=1m,nr_inodes=4,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    mounted_.push_back(target);
    WriteFile(target + "/old.txt", "old");
    SetModificationTime(target + "/old.txt", kOld);
    const TreeSnapshot before = Snapshot(target);
    AddEntry("old.txt", "new", TimeAt(kNew));
    EXPECT_EQ(RunJobInto(target + "/"), 87u);
    EXPECT_EQ(job_.failure.error, ENOSPC);
    ASSERT_FALSE(posts_.empty());
    EXPECT_EQ(posts_.back().text, "Installation error\nInsufficient space available in the template directory: " +
                                      target + "/");
    EXPECT_EQ(Snapshot(target), before);
}

}  // namespace
