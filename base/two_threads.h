#pragma once
// Sharing independent work items between the calling thread and one more.

#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>

namespace vxk5 {

// Runs work(k, second) once for every item k of [from, to), the items taken
// in increasing order by the calling thread (second false) and one thread
// more (second true) as each comes free, so that neither waits for the other
// while items are left. The calling thread first runs lead(), which the other
// thread does not wait for. lead() or a work returning false stops both from
// taking further items; the items already taken complete. The other thread is
// joined before this returns, on every path; when none can be started, the
// calling thread does every item itself (as second false). Items must share
// nothing unguarded.
template <typename Lead, typename Work>
void ShareOverTwoThreads(size_t from, size_t to, Lead lead, Work work) {
    std::atomic<size_t> next{from};
    std::atomic<bool> stop{false};
    auto take = [&next, &stop, &work, to](bool second) {
        while (!stop.load(std::memory_order_relaxed)) {
            const size_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= to) return;
            if (!work(k, second)) stop.store(true, std::memory_order_relaxed);
        }
    };
    std::thread other;
    try {
        other = std::thread(take, true);
    } catch (const std::system_error&) {
    }
    struct Joined {
        std::thread& thread;
        ~Joined() {
            if (thread.joinable()) thread.join();
        }
    } joined{other};
    if (!lead()) stop.store(true, std::memory_order_relaxed);
    take(false);
}

// The same without a lead.
template <typename Work>
void ShareOverTwoThreads(size_t from, size_t to, Work work) {
    ShareOverTwoThreads(from, to, [] { return true; }, work);
}

}  // namespace vxk5
