// The originals an installation replaces are kept at its commit on two
// threads: every one of them, each exactly once, and the user's when the
// kit repeats a name.

#include <gtest/gtest.h>

#include <string>

#include "base/conversion.h"
#include "install/uninstall.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kUsers = 1230768000;  // 2009
constexpr int64_t kKits = 1262304000;   // 2010
constexpr size_t kDirectories = 24;
constexpr size_t kPerDirectory = 125;  // 3,000 files: several shares of records for each thread

std::string NameOf(size_t i) { return "d" + std::to_string(i / kPerDirectory) + "/f" + std::to_string(i) + ".cfg"; }
std::string KitName(size_t i) { return "d" + std::to_string(i / kPerDirectory) + "\\f" + std::to_string(i) + ".cfg"; }

class KeptOriginalsThreadsTest : public RecordedInstallTest, public ::testing::WithParamInterface<bool> {
protected:
    // The user's files, older than the kit's; their bytes' sum.
    uint64_t MakeUsersFiles() {
        uint64_t bytes = 0;
        for (size_t d = 0; d < kDirectories; ++d) MakeDirectories(TargetPath("d" + std::to_string(d)));
        for (size_t i = 0; i < kDirectories * kPerDirectory; ++i) {
            const std::string text = "the user's " + std::to_string(i) + std::string(i % 37, 'u');
            WriteFile(TargetPath(NameOf(i)), text);
            SetModificationTime(TargetPath(NameOf(i)), kUsers);
            bytes += text.size();
        }
        return bytes;
    }
};

}  // namespace

// With a name repeated (GetParam), the originals are gathered in the steps'
// order; without, on two threads. Either way each original is kept once, the
// kept bytes are counted, no working name is left, and the uninstall puts
// back exactly what the user had.
TEST_P(KeptOriginalsThreadsTest, EveryOriginalIsKeptOnceAndComesBackExactly) {
    const bool repeated = GetParam();
    const uint64_t usersBytes = MakeUsersFiles();
    const TreeSnapshot before = Snapshot(TargetPath());
    for (size_t i = 0; i < kDirectories * kPerDirectory; ++i) {
        AddEntry(KitName(i), "the kit's " + std::to_string(i), TimeAt(kKits));
    }
    if (repeated) {
        AddEntry(KitName(7), "the kit's 7 again", TimeAt(kKits + 10));
        AddEntry(KitName(1500), "the kit's 1500 again", TimeAt(kKits + 10));
    }
    ASSERT_EQ(RunJob(), 0u);
    ASSERT_TRUE(job_.recordWritten);
    EXPECT_EQ(job_.keptBytes, usersBytes);
    EXPECT_EQ(ReadFile(TargetPath(NameOf(1500))), repeated ? "the kit's 1500 again" : "the kit's 1500");
    for (const auto& [path, entry] : Snapshot(TargetPath())) {
        EXPECT_EQ(path.find(".k5"), std::string::npos) << path << " left in the template directory";
    }

    UninstallOptions options;
    options.directory = FromMultiByte(TargetPath());
    options.firstWorkingNumber = 0;
    const UninstallResult result = RunUninstall(options);
    EXPECT_EQ(result.restored, kDirectories * kPerDirectory);
    EXPECT_EQ(result.originalsNotKept, 0u);
    EXPECT_EQ(Snapshot(TargetPath()), before);
}

INSTANTIATE_TEST_SUITE_P(NameRepeated, KeptOriginalsThreadsTest, ::testing::Bool());
