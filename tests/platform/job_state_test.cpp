#include "platform/job_state.h"

#include <gtest/gtest.h>

using namespace vxk5;

namespace {

TEST(InstallJobState, StartsEmpty) {
    InstallJobState state;
    uint32_t code = 9;
    uint32_t percent = 9;
    WString message = u"old";
    GetJobResult(state, code, message, percent);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(percent, 0u);
    EXPECT_TRUE(message.empty());
    WString directory = u"old";
    GetJobSetup(state, directory);
    EXPECT_TRUE(directory.empty());
}

TEST(InstallJobState, SetupKeepsTheDirectoryAsGiven) {
    // The job checks the form; the state neither adds nor strips a separator.
    InstallJobState state;
    const auto stored = [&](const WString& given) {
        SetupJob(state, given);
        WString directory;
        GetJobSetup(state, directory);
        return directory;
    };
    EXPECT_EQ(stored(u"/home/u/tmplts"), u"/home/u/tmplts");
    EXPECT_EQ(stored(u"/home/u/tmplts/"), u"/home/u/tmplts/");
    EXPECT_EQ(stored(u"rel/t"), u"rel/t");
    EXPECT_EQ(stored(u""), u"");
}

TEST(InstallJobState, SetupAfterAFailureClearsCodeAndPercentOnly) {
    InstallJobState state;
    SetJobResult(state, 87, u"the copy failed", 40);
    SetupJob(state, u"/t");
    uint32_t code = 1;
    uint32_t percent = 1;
    WString message;
    GetJobResult(state, code, message, percent);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(percent, 0u);
    EXPECT_EQ(message, u"the copy failed");

    InitJobState(state);
    GetJobResult(state, code, message, percent);
    EXPECT_TRUE(message.empty());
}

TEST(InstallJobState, CopiesOutliveTheNextPost) {
    InstallJobState state;
    const WString long_text = u"a message long enough to live in a shared heap block";
    SetJobResult(state, 0, long_text, 10);
    uint32_t code = 0;
    uint32_t percent = 0;
    WString message;
    GetJobResult(state, code, message, percent);
    SetJobResult(state, 0, u"next", 20);
    EXPECT_EQ(message, long_text);
    EXPECT_EQ(percent, 10u);
}

}  // namespace
