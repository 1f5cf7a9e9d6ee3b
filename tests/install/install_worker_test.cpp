// The worker thread: one run of the job, polled through the job state as the
// controller polls it, and joined so that a rollback is over before anyone
// looks at the template directory.

#include "base/conversion.h"
#include "install/install_worker.h"

#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;
constexpr int64_t kNew = 1262304000;

class InstallWorkerTest : public InstallTest {
protected:
    // Polls as the progress page does until the final state; returns every
    // distinct state seen.
    std::vector<Post> PollUntilFinal(InstallJobState& state) {
        std::vector<Post> seen;
        for (;;) {
            uint32_t code = 0;
            WString text;
            uint32_t percent = 0;
            GetJobResult(state, code, text, percent);
            const Post post{code, ToMultiByteString(text), percent};
            if (seen.empty() || seen.back().code != code || seen.back().text != post.text ||
                seen.back().percent != percent) {
                seen.push_back(post);
            }
            if (code != 0 || percent >= 100) return seen;
            SleepMilliseconds(1);
        }
    }
};

TEST_F(InstallWorkerTest, RunsTheJobOnceAndEndsOnTheSuccessPost) {
    for (int i = 0; i < 40; ++i) AddEntry("d" + std::to_string(i % 4) + "\\f" + std::to_string(i), "x", TimeAt(kNew));
    BuildKit();
    InstallJobState state;
    SetupJob(state, FromMultiByte(TargetPath()));
    InstallWorker worker;
    EXPECT_EQ(worker.creationResult, -1);
    ASSERT_TRUE(StartWorker(worker, state, &kit()));
    EXPECT_EQ(worker.creationResult, 0);
    const std::vector<Post> seen = PollUntilFinal(state);
    worker.Join();

    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().code, 0u);
    EXPECT_EQ(seen.back().text, "Copying complete...");
    EXPECT_EQ(seen.back().percent, 100u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1].percent, seen[i].percent);
    EXPECT_EQ(ReadFile(TargetPath("d3/f39")), "x");
    EXPECT_TRUE(ListNames(TempPath()).empty());
    // Nothing is posted after the final state.
    uint32_t code = 1;
    WString text;
    uint32_t percent = 0;
    GetJobResult(state, code, text, percent);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(percent, 100u);
}

TEST_F(InstallWorkerTest, JoiningAfterTheFailurePostWaitsForTheRollback) {
    WriteFile(TargetPath("a.txt"), "original");
    SetModificationTime(TargetPath("a.txt"), kOld);
    const TreeSnapshot before = Snapshot(TargetPath());
    for (int i = 0; i < 20; ++i) AddEntry("made\\" + std::to_string(i), "x", TimeAt(kNew));
    AddEntry("a.txt", "kit", TimeAt(kNew));
    AddEntry("..\\escape", "x", TimeAt(kNew));
    BuildKit();
    InstallJobState state;
    SetupJob(state, FromMultiByte(TargetPath()));
    InstallWorker worker;
    ASSERT_TRUE(StartWorker(worker, state, &kit()));
    const std::vector<Post> seen = PollUntilFinal(state);
    worker.Join();
    worker.Join();  // a second join finds nothing to wait for

    EXPECT_EQ(seen.back().code, 13u);
    EXPECT_EQ(seen.back().text, "Installation error");
    EXPECT_EQ(seen.back().percent, 21u * 100 / 22);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

TEST_F(InstallWorkerTest, DestructorJoinsAndARestartRunsANewJob) {
    BuildKit();  // no entries
    InstallJobState state;
    SetupJob(state, FromMultiByte(TargetPath()));
    {
        InstallWorker worker;
        ASSERT_TRUE(StartWorker(worker, state, &kit()));
        // Started again at once: the first thread is joined before the second starts.
        SetupJob(state, FromMultiByte(TargetPath("second/")));
        ASSERT_TRUE(StartWorker(worker, state, &kit()));
    }  // joined here, pause and all
    uint32_t code = 1;
    WString text;
    uint32_t percent = 0;
    GetJobResult(state, code, text, percent);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(percent, 100u);
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

TEST(InstallWorkerIdleTest, JoiningAWorkerThatNeverStartedReturnsAtOnce) {
    InstallWorker worker;
    worker.Join();
    EXPECT_EQ(worker.creationResult, -1);
    EXPECT_FALSE(worker.joinable);
    SleepMilliseconds(0);
}

}  // namespace
