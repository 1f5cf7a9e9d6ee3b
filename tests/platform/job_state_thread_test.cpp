#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/conversion.h"
#include "platform/job_state.h"

using namespace vxk5;

namespace {

// The text posted with step i; long enough to live in a shared heap block.
WString MessageFor(uint32_t step) {
    return FromMultiByte(AString(("copying file number " + std::to_string(step) + " of many").c_str()));
}

TEST(InstallJobStateThreads, ReaderSeesWholeTriples) {
    InstallJobState state;
    constexpr uint32_t kSteps = 20000;
    SetJobResult(state, 0, MessageFor(0), 0);
    std::atomic<bool> done{false};

    std::thread writer([&] {
        for (uint32_t step = 1; step <= kSteps; ++step) SetJobResult(state, step, MessageFor(step), step % 101);
        done.store(true);
    });

    uint32_t reads = 0;
    uint32_t last = 0;
    bool finished = false;
    while (!finished) {
        finished = done.load();  // one more read after the writer ends
        uint32_t code = 0;
        uint32_t percent = 0;
        WString message;
        GetJobResult(state, code, message, percent);
        ASSERT_EQ(message, MessageFor(code)) << "text and code from different posts";
        ASSERT_EQ(percent, code % 101) << "percent and code from different posts";
        ASSERT_GE(code, last) << "posts seen out of order";
        last = code;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(last, kSteps);
    EXPECT_GT(reads, 0u);
}

TEST(InstallJobStateThreads, SetupHandsOverToAWorker) {
    InstallJobState state;
    SetupJob(state, u"/srv/templates/");
    WString directory;
    std::thread worker([&] {
        GetJobSetup(state, directory);
        SetJobResult(state, 0, u"done", 100);
    });
    worker.join();
    EXPECT_EQ(directory, u"/srv/templates/");
    uint32_t code = 1;
    uint32_t percent = 0;
    WString message;
    GetJobResult(state, code, message, percent);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(percent, 100u);
    EXPECT_EQ(message, u"done");
}

}  // namespace
