// A large tree purged on two threads: everything goes but what links point
// to, and a failure on either thread is reported, the first in the order the
// directory lists its names, as on one thread.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "platform/file_entries.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

constexpr int kDirectories = 60;

// Fails the purge of the names given, with their errno, each time.
int FailNamed(FaultStep step, const std::string& name, void* context) {
    const auto& failing = *static_cast<std::map<std::string, int>*>(context);
    const auto found = failing.find(name);
    return step == FaultStep::Purge && found != failing.end() ? found->second : 0;
}

class PurgeOnTwoThreads : public ::testing::Test {
protected:
    void TearDown() override { SetFaultHook(nullptr, nullptr); }

    // victim/only/dNN/{f0..f4, link}: the split happens one level down.
    void MakeVictim() {
        MakeDirectories(temp_.path("precious"));
        WriteFile(temp_.path("precious/file"), "p");
        for (int d = 0; d < kDirectories; ++d) {
            const std::string directory = temp_.path("victim/only/d" + std::to_string(100 + d));
            MakeDirectories(directory);
            for (int f = 0; f < 5; ++f) WriteFile(directory + "/f" + std::to_string(f), "x");
            ASSERT_EQ(::symlink(temp_.path("precious").c_str(), (directory + "/link").c_str()), 0);
        }
        root_.Reset(::open(temp_.path("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(root_.IsOpen());
    }

    TempDir temp_;
    OwnedDescriptor root_;
};

TEST_F(PurgeOnTwoThreads, RemovesEverythingButWhatLinksPointTo) {
    MakeVictim();
    EXPECT_TRUE(PurgeTreeOnTwoThreadsAt(root_.Get(), "victim").Empty());
    EXPECT_FALSE(PathExists(temp_.path("victim")));
    EXPECT_EQ(ReadFile(temp_.path("precious/file")), "p");
    EXPECT_TRUE(PurgeTreeOnTwoThreadsAt(root_.Get(), "victim").Empty());  // nothing left to do
}

TEST_F(PurgeOnTwoThreads, FailureOnEitherThreadIsReportedAndTheRestGoes) {
    for (const auto& failing : {std::map<std::string, int>{{"d145", EACCES}},
                                std::map<std::string, int>{{"d145", EACCES}, {"d105", EIO}}}) {
        MakeVictim();
        std::vector<std::string> listed;
        ASSERT_TRUE(ListDirectory(temp_.path("victim/only"), listed).Empty());
        int firstListed = 0;
        for (const std::string& name : listed) {
            if (firstListed == 0 && failing.count(name) != 0) firstListed = failing.at(name);
        }
        std::map<std::string, int> hooked = failing;
        SetFaultHook(FailNamed, &hooked);
        const Failure purged = PurgeTreeOnTwoThreadsAt(root_.Get(), "victim");
        SetFaultHook(nullptr, nullptr);
        EXPECT_EQ(purged.error, firstListed);
        EXPECT_EQ(purged.path, "victim");
        // Only what failed is left, with the directories above it.
        std::vector<std::string> left;
        ASSERT_TRUE(ListDirectory(temp_.path("victim/only"), left).Empty());
        std::sort(left.begin(), left.end());
        std::vector<std::string> expected;
        for (const auto& [name, error] : failing) expected.push_back(name);
        EXPECT_EQ(left, expected);
        EXPECT_EQ(ReadFile(temp_.path("precious/file")), "p");
        EXPECT_TRUE(PurgeTreeOnTwoThreadsAt(root_.Get(), "victim").Empty());
    }
}

}  // namespace
