// The job's steps as it keeps them in memory: what goes in comes out, in
// order and whole, past the blocks' boundaries.

#include "install/step_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vxk5;

namespace {

TEST(StepLogTest, StepsComeBackInOrderWithTheirPathsTemporariesAndIdentities) {
    StepLog log;
    log.SetTarget("/home/u/t/");
    const size_t above = log.Append(StepKind::MakeDirectory, "/home/u");  // above the template directory
    const size_t made = log.Append(StepKind::MakeDirectory, "/home/u/t/sub");
    const size_t replaced = log.AppendReplacement("/home/u/t/a.txt", ".k5stp0.0");
    const size_t written = log.Append(StepKind::WriteFile, "/home/u/t/sub/b.txt", ".k5stp0.1");
    log.Identify(above, {1, 2});
    log.Identify(replaced, {3, 4});
    EXPECT_EQ(made, above + 1);
    EXPECT_EQ(written, replaced + 1);

    const std::vector<JournalStep> steps = log.Expand();
    ASSERT_EQ(steps.size(), 5u);  // the replacement is two steps
    EXPECT_EQ(steps[0].kind, StepKind::MakeDirectory);
    EXPECT_EQ(steps[0].path, "/home/u");
    EXPECT_TRUE(steps[0].identified);
    EXPECT_EQ(steps[0].device, 1u);
    EXPECT_EQ(steps[1].path, "/home/u/t/sub");
    EXPECT_FALSE(steps[1].identified);
    EXPECT_EQ(steps[2].kind, StepKind::MoveToBackup);
    EXPECT_EQ(steps[2].path, "/home/u/t/a.txt");
    EXPECT_FALSE(steps[2].identified) << "the original's identity is not the new file's";
    EXPECT_EQ(steps[3].kind, StepKind::WriteFile);
    EXPECT_EQ(steps[3].path, "/home/u/t/a.txt");
    EXPECT_EQ(steps[3].temporary, ".k5stp0.0");
    EXPECT_TRUE(steps[3].identified);
    EXPECT_EQ(steps[3].inode, 4u);
    EXPECT_EQ(steps[4].path, "/home/u/t/sub/b.txt");
    EXPECT_EQ(steps[4].temporary, ".k5stp0.1");
    EXPECT_FALSE(steps[4].identified);

    std::vector<std::string> visited;
    log.ForEach([&visited](StepKind kind, const std::string& path, const std::string& temporary) {
        visited.push_back(std::string(1, static_cast<char>(kind)) + " " + path + " " + temporary);
    });
    EXPECT_EQ(visited, (std::vector<std::string>{"D /home/u ", "D /home/u/t/sub ", "M /home/u/t/a.txt ",
                                                 "W /home/u/t/a.txt .k5stp0.0", "W /home/u/t/sub/b.txt .k5stp0.1"}));
}

// Enough steps to fill several blocks of records and of path bytes, with
// paths of every length up to the longest a path can be.
TEST(StepLogTest, ManyStepsAndLongPathsCrossTheBlocksWhole) {
    StepLog log;
    log.SetTarget("/t/");
    constexpr size_t kSteps = 40000;
    auto pathOf = [](size_t i) { return "/t/" + std::string(1 + i % 4093, static_cast<char>('a' + i % 26)); };
    for (size_t i = 0; i < kSteps; ++i) {
        const size_t record = log.Append(StepKind::WriteFile, pathOf(i), ".k5stp0." + std::to_string(i));
        if (i % 3 == 0) log.Identify(record, {i, i + 1});
    }
    const std::vector<JournalStep> steps = log.Expand();
    ASSERT_EQ(steps.size(), kSteps);
    for (size_t i = 0; i < kSteps; ++i) {
        ASSERT_EQ(steps[i].path, pathOf(i)) << i;
        ASSERT_EQ(steps[i].temporary, ".k5stp0." + std::to_string(i)) << i;
        ASSERT_EQ(steps[i].identified, i % 3 == 0) << i;
        ASSERT_EQ(steps[i].inode, i % 3 == 0 ? i + 1 : 0) << i;
    }
}

}  // namespace
