#include "kit/rest_unpacking.h"

#include <algorithm>

#include "base/result_codes.h"
#include "kit/kit_unpack.h"

namespace vxk5 {

namespace {

// The first bytes come soon, so that the first copies start at once; later
// steps grow, so that the writer's pipeline seldom drains.
constexpr uint64_t kFirstStep = 1u << 20;
constexpr uint64_t kLargestStep = 16u << 20;

}  // namespace

RestUnpacking::RestUnpacking(KitUnpacker& unpacker)
    : unpacker_(unpacker), thread_([this] { Run(); }) {}

RestUnpacking::~RestUnpacking() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
}

void RestUnpacking::Publish(uint64_t available, bool ended, uint32_t code) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        available_ = available;
        ended_ = ended;
        code_ = code;
    }
    grown_.notify_all();
}

void RestUnpacking::Run() {
    // Only bytes written, not merely inflated, are published: after a
    // failure, no more than the last step's. What the file table's reading
    // unpacked is written already.
    uint64_t written = unpacker_.Available();
    Publish(written, false, 0);
    for (uint64_t step = kFirstStep; !unpacker_.Ended(); step = std::min(step * 2, kLargestStep)) {
        if (stop_.load(std::memory_order_relaxed)) {
            // Nobody waits any more: the kit is going.
            Publish(written, true, ERR_INVALID_PARAMETER);
            return;
        }
        if (unpacker_.UnpackUntil(unpacker_.Available() + step) != 0) break;
        written = unpacker_.Available();
        Publish(written, false, 0);
    }
    // The container cut to the inflated bytes; the same code after a
    // failure. Whether every entry's bytes came is UnpackRest's to check.
    const uint32_t code = unpacker_.Finish();
    Publish(code == 0 ? unpacker_.Available() : written, true, code);
}

uint32_t RestUnpacking::WaitFor(uint64_t end) {
    std::unique_lock<std::mutex> lock(mutex_);
    grown_.wait(lock, [this, end] { return available_ >= end || ended_; });
    if (available_ >= end) return ERR_SUCCESS;
    return code_ != 0 ? code_ : ERR_INVALID_DATA;
}

uint64_t RestUnpacking::Available() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return available_;
}

uint32_t RestUnpacking::Join() {
    if (thread_.joinable()) thread_.join();
    const std::lock_guard<std::mutex> lock(mutex_);
    return code_;
}

}  // namespace vxk5
