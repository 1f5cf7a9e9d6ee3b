#pragma once
// The data area of a kit read file table first, unpacked on a thread of its
// own while the installation goes on: a copy waits only until its own
// entry's bytes are in the container, not for the whole area.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vxk5 {

class KitUnpacker;

class RestUnpacking {
public:
    // Starts the thread, which alone uses `unpacker` until Join() has
    // returned. Throws std::system_error when no thread can be started.
    explicit RestUnpacking(KitUnpacker& unpacker);
    ~RestUnpacking();  // an unfinished unpacking stops after its current step
    RestUnpacking(const RestUnpacking&) = delete;
    RestUnpacking& operator=(const RestUnpacking&) = delete;

    // Waits until the container holds its first `end` bytes: ERR_SUCCESS, or
    // the code of an unpacking that failed, ERR_INVALID_DATA for one that
    // ended short of them. Safe from any number of threads.
    [[nodiscard]] uint32_t WaitFor(uint64_t end);
    // The bytes the container holds so far.
    uint64_t Available();
    // Waits for the end: KitUnpacker::Finish's code.
    [[nodiscard]] uint32_t Join();

private:
    void Run();
    void Publish(uint64_t available, bool ended, uint32_t code);

    KitUnpacker& unpacker_;
    std::mutex mutex_;
    std::condition_variable grown_;
    uint64_t available_ = 0;
    bool ended_ = false;
    uint32_t code_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace vxk5
