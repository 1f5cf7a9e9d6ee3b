// Full file systems, made with small tmpfs mounts (root only; skipped where
// the mount is refused): a temporary directory too small for an original, and
// a template file system that the new files fill. In both the originals come
// out byte for byte, and nothing is left in the temporary directory.

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

TEST_F(FullDiskTest, TemporaryDirectoryTooSmallForAnOriginal) {
    const std::string small = RootPath("small-tmp");
    if (!MountSmall(small, "2m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    ::setenv("TMPDIR", small.c_str(), 1);
    WriteFile(TargetPath("a.txt"), "small original");
    SetModificationTime(TargetPath("a.txt"), kOld);
    WriteFile(TargetPath("big.bin"), std::string(3 * 1024 * 1024, 'o'));
    ASSERT_EQ(::chmod(TargetPath("big.bin").c_str(), 0640), 0);
    SetModificationTime(TargetPath("big.bin"), kOld);
    const TreeSnapshot before = Snapshot(TargetPath());
    AddEntry("a.txt", "kit a", TimeAt(kNew));
    AddEntry("new.txt", "kit new", TimeAt(kNew));
    AddEntry("big.bin", "kit big", TimeAt(kNew));
    AddEntry("after.txt", "never reached", TimeAt(kNew));

    EXPECT_EQ(RunJob(), 87u);
    EXPECT_EQ(job_.failure.error, ENOSPC);
    EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath("big.bin"));
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_TRUE(ListNames(small).empty());
}

TEST_F(FullDiskTest, TemplateFileSystemFilledByTheNewFiles) {
    const std::string target = RootPath("small-target");
    if (!MountSmall(target, "1m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    // Originals that fill most of it; the temporary directory is elsewhere,
    // so every backup and every restore is a copy across file systems.
    for (int i = 0; i < 3; ++i) {
        const std::string path = target + "/orig" + std::to_string(i);
        WriteFile(path, std::string(250 * 1024, static_cast<char>('a' + i)));
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(0600 + i)), 0);
        SetModificationTime(path, kOld);
    }
    ASSERT_EQ(::symlink("orig0", (target + "/link").c_str()), 0);
    const TreeSnapshot before = Snapshot(target);
    for (int i = 0; i < 3; ++i) AddEntry("orig" + std::to_string(i), std::string(300 * 1024, 'k'), TimeAt(kNew));
    AddEntry("filler", std::string(600 * 1024, 'f'), TimeAt(kNew));

    EXPECT_EQ(RunJobInto(target + "/"), 87u);
    EXPECT_EQ(job_.failure.error, ENOSPC);
    EXPECT_FALSE(job_.backupKept);
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_TRUE(ListNames(TempPath()).empty());

    // Without the filler the same update fits, across file systems as well.
    ResetKit();
    for (int i = 0; i < 3; ++i) AddEntry("orig" + std::to_string(i), std::string(300 * 1024, 'k'), TimeAt(kNew));
    ASSERT_EQ(RunJobInto(target + "/"), 0u);
    EXPECT_EQ(ReadFile(target + "/orig2"), std::string(300 * 1024, 'k'));
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

}  // namespace
