#pragma once
// Raw deflate on every core. The input is cut into blocks that are compressed
// independently, each primed with the last 32 KiB of the block before it as
// its dictionary (so matches reach across the cut as in one stream) and ended
// with a sync flush, which leaves it on a byte boundary; the last block ends
// the stream. Joined in order, the pieces are one raw deflate stream that any
// inflater reads as it would read one compressor's. The pieces only depend on
// the input, the level and the block size: the same input gives the same
// bytes whatever the number of threads.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vxk5 {

class ParallelDeflater {
public:
    // Receives the stream's bytes in order; a nonzero code stops the stream.
    using Sink = std::function<uint32_t(const uint8_t* bytes, size_t size)>;

    static constexpr size_t kDefaultBlockSize = 1 << 20;

    // `threads` 0: one per core. One thread compresses on the caller's own.
    ParallelDeflater(int level, Sink sink, unsigned threads = 0, size_t blockSize = kDefaultBlockSize);
    ~ParallelDeflater();  // stops the threads; an unfinished stream is dropped
    ParallelDeflater(const ParallelDeflater&) = delete;
    ParallelDeflater& operator=(const ParallelDeflater&) = delete;

    // ERR_SUCCESS, the sink's code, or ERR_INVALID_PARAMETER when the compressor fails.
    [[nodiscard]] uint32_t Write(const void* bytes, size_t size);
    // Compresses the rest, ends the stream and hands everything to the sink.
    [[nodiscard]] uint32_t Finish();

    unsigned Threads() const { return static_cast<unsigned>(workers_.size()); }

private:
    struct Job;
    struct Compressor;

    [[nodiscard]] uint32_t Submit(bool last);
    [[nodiscard]] uint32_t DrainDone(std::unique_lock<std::mutex>& lock, bool all);
    void Work();

    const int level_;
    const size_t blockSize_;
    Sink sink_;
    std::vector<uint8_t> block_;       // the block being filled
    std::vector<uint8_t> dictionary_;  // the last 32 KiB before it
    uint32_t failure_ = 0;
    bool finished_ = false;
    std::unique_ptr<Compressor> inline_;  // without threads

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Job>> inOrder_;  // submitted, not yet handed to the sink
    std::deque<std::shared_ptr<Job>> todo_;     // not yet taken by a thread
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace vxk5
