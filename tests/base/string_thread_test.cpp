// Heap strings shared between threads: copies and releases on both sides must
// keep every text intact and free each block once (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "base/wstring.h"

using namespace vxk5;

namespace {

TEST(WStringThreads, SharedBlocksCopiedAndReleasedAcrossThreads) {
    WString shared;
    shared.resize(64, u'p');
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    std::vector<int> bad(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        WString mine = shared;  // each thread gets its own value of the same block
        threads.emplace_back([t, mine, &bad]() mutable {
            for (int i = 0; i < kRounds; ++i) {
                WString copy = mine;
                WString modified = copy;
                modified.push_back(u'!');  // detaches; the shared block stays intact
                if (copy.length() != 64 || copy[63] != u'p' || modified.length() != 65) ++bad[static_cast<size_t>(t)];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int count : bad) EXPECT_EQ(count, 0);
    EXPECT_EQ(shared.SharedCount(), 1);
}

TEST(WStringThreads, BlockReleasedOnAnotherThread) {
    WString expected;
    expected.resize(100, u'm');
    for (int i = 0; i < 200; ++i) {
        WString text;
        text.resize(100, u'm');
        WString handed = text;
        ASSERT_EQ(text.SharedCount(), 2);
        // The other thread drops its copy; the count it leaves is seen here.
        std::thread other([moved = std::move(handed)]() mutable { WString drop = std::move(moved); });
        other.join();
        EXPECT_EQ(text.SharedCount(), 1) << "the other thread's release reached the block";
        EXPECT_EQ(text, expected);

        // The other way round: this thread lets go first, and the other one
        // holds the last reference, finds the text intact and frees the block.
        std::promise<void> letGo;
        std::future<void> released = letGo.get_future();
        int64_t countSeen = 0;
        bool intact = false;
        std::thread owner([held = WString(text), released = std::move(released), &countSeen, &intact,
                           &expected]() mutable {
            released.wait();
            countSeen = held.SharedCount();
            intact = held == expected;
            WString drop = std::move(held);
        });
        text = WString();
        letGo.set_value();
        owner.join();
        EXPECT_EQ(countSeen, 1) << "this thread's release reached the block";
        EXPECT_TRUE(intact);
    }
}

}  // namespace
