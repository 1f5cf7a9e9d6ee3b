// The take-back of an uninstall shares the recorded files between two threads.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "install/installation_record.h"
#include "install/record_store.h"
#include "install/uninstall.h"
#include "platform/fault_injection.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kFirst = 1262304000;  // 2010

class TakeBackThreadsTest : public RecordedInstallTest {
protected:
    static UninstallResult Uninstall(const std::string& directory) {
        UninstallOptions options;
        options.directory = FromMultiByte(directory);
        options.firstWorkingNumber = 0;
        return RunUninstall(options);
    }
};

// Fails the take-back of every file whose path ends with one of `context`'s names.
int FailNamedTakeBacks(FaultStep step, const std::string& path, void* context) {
    for (const std::string& name : *static_cast<std::vector<std::string>*>(context)) {
        if (step == FaultStep::TakeBack && path.size() > name.size() &&
            path.compare(path.size() - name.size(), name.size(), name) == 0) {
            return EIO;
        }
    }
    return 0;
}

}  // namespace

// The files of many directories are taken back on two threads, a directory
// at a time on each, originals brought back on both: what the uninstall
// reports is still what one pass in the record's order would, the files kept
// listed in that order and the first failure in it named.
TEST_F(TakeBackThreadsTest, FilesTakenBackOnTwoThreadsAreReportedInTheRecordsOrder) {
    ResetKit();
    for (int i = 0; i < 1200; ++i) {
        AddEntry("d" + std::to_string(i / 100) + "\\f" + std::to_string(i), "kit's", TimeAt(kFirst));
    }
    const auto path = [this](int i) { return TargetPath("d" + std::to_string(i / 100) + "/f" + std::to_string(i)); };
    // Originals of the user's in two directories, replaced and kept: they come back.
    for (const int i : {100, 600}) {
        MakeDirectories(TargetPath("d" + std::to_string(i / 100)));
        WriteFile(path(i), "the user's original");
        SetModificationTime(path(i), kFirst - 100);
    }
    ASSERT_EQ(RunJob(), 0u);
    for (const int i : {5, 250, 777, 1150}) WriteFile(path(i), "the user's");
    std::vector<std::string> failing = {"/f999", "/f333"};
    std::vector<std::string> expected;
    {
        struct stat target {};
        ASSERT_EQ(::stat(TargetPath().c_str(), &target), 0);
        InstallationRecord record;
        std::string name;
        ASSERT_EQ(ReadLatestRecord(EntryIdentity{target.st_dev, target.st_ino}, record, name), 0);
        for (const RecordedFile& file : record.files) {
            for (const int i : {5, 250, 333, 777, 999, 1150}) {
                if (record.target + file.relative == path(i)) expected.push_back(path(i));
            }
        }
        ASSERT_EQ(expected.size(), 6u);
    }
    SetFaultHook(FailNamedTakeBacks, &failing);
    const UninstallResult result = Uninstall(TargetPath());
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(result.outcome, UninstallOutcome::Failed);
    EXPECT_TRUE(result.inPart);
    EXPECT_EQ(result.removed, 1194u);
    EXPECT_EQ(result.restored, 2u);
    EXPECT_EQ(ReadFile(path(100)), "the user's original");
    EXPECT_EQ(ReadFile(path(600)), "the user's original");
    EXPECT_EQ(result.keptChanged, expected);
    EXPECT_EQ(result.failure.error, EIO);
    const auto first = std::find_if(expected.begin(), expected.end(),
                                    [&](const std::string& p) { return p == path(333) || p == path(999); });
    EXPECT_EQ(result.failure.path, *first);
    size_t files = 0;
    for (const auto& [name, entry] : Snapshot(TargetPath())) files += entry.kind != 'd';
    EXPECT_EQ(files, 8u);  // the six kept and the two originals
}
