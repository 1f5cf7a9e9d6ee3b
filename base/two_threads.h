#pragma once
// Sharing a range of independent work items between the calling thread and
// one more.

#include <cstddef>
#include <system_error>
#include <thread>

namespace vxk5 {

// Runs work(first, last, second) over the items [from, to): the first half on
// the calling thread (second false) and the second half on a thread of its
// own (second true), which is joined before this returns, on every path. When
// no thread can be started, the calling thread does the second half as well,
// still with second true. The halves must not share anything unguarded.
template <typename Work>
void SplitOverTwoThreads(size_t from, size_t to, Work work) {
    const size_t half = from + (to - from) / 2;
    std::thread other;
    try {
        other = std::thread(work, half, to, true);
    } catch (const std::system_error&) {
    }
    struct Joined {
        std::thread& thread;
        ~Joined() {
            if (thread.joinable()) thread.join();
        }
    } joined{other};
    work(from, half, false);
    if (!other.joinable()) work(half, to, true);
}

}  // namespace vxk5
