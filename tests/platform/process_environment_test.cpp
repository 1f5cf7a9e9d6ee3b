// Variables set for the installer's own libraries do not reach the programs
// it starts: they see what the installer itself was started with.

#include "platform/process_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/utility_process.h"

using namespace vxk5;

namespace {

int Count(char* const* environment, const std::string& entry) {
    int count = 0;
    for (char* const* item = environment; *item != nullptr; ++item) count += entry == *item;
    return count;
}

TEST(ProcessEnvironment, OwnVariablesAreUndoneForChildren) {
    setenv("VXK5_TEST_INHERITED", "from-parent", 1);
    unsetenv("VXK5_TEST_NEW");
    ASSERT_TRUE(SetOwnVariable("VXK5_TEST_INHERITED", "own"));
    ASSERT_TRUE(SetOwnVariable("VXK5_TEST_NEW", "own"));
    ASSERT_TRUE(SetOwnVariable("VXK5_TEST_INHERITED", "own again"));  // still restores the first inherited value
    EXPECT_STREQ(std::getenv("VXK5_TEST_INHERITED"), "own again");
    EXPECT_STREQ(std::getenv("VXK5_TEST_NEW"), "own");

    const ChildEnvironment environment;
    EXPECT_EQ(Count(environment.get(), "VXK5_TEST_INHERITED=from-parent"), 1);
    EXPECT_EQ(Count(environment.get(), "VXK5_TEST_INHERITED=own again"), 0);
    EXPECT_EQ(Count(environment.get(), "VXK5_TEST_NEW=own"), 0);
    EXPECT_EQ(Count(environment.get(), std::string("PATH=") + std::getenv("PATH")), 1) << "the rest stays";

    // A started program sees the inherited values only.
    EXPECT_EQ(RunUtility({"sh", "-c", "[ \"$VXK5_TEST_INHERITED\" = from-parent ] && [ -z \"${VXK5_TEST_NEW+x}\" ]"},
                         ErrorOutput::Keep),
              0);
}

}  // namespace
