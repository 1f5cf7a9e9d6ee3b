#include "kit/container_writer.h"

#include <cerrno>
#include <utility>

#include "base/result_codes.h"

namespace vxk5 {

namespace {

// Buffers in all: one being filled, the others being written or waiting.
constexpr int kBuffers = 3;

// A write that took nothing is no full disk: EIO gives ERR_INVALID_PARAMETER as every other failure does.
[[nodiscard]] uint32_t CodeOf(int error) {
    return error == ENOSPC || error == EDQUOT ? ERR_DISK_FULL : ERR_INVALID_PARAMETER;
}

}  // namespace

ContainerWriter::ContainerWriter(FileHandle container)
    : container_(container), current_(new uint8_t[kBufferSize]) {
    for (int i = 1; i < kBuffers; ++i) free_.emplace_back(new uint8_t[kBufferSize]);
    thread_ = std::thread([this] { Run(); });
}

ContainerWriter::~ContainerWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

uint32_t ContainerWriter::Advance(uint32_t produced) {
    filled_ += produced;
    if (filled_ == kBufferSize) Hand(kBufferSize);
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

void ContainerWriter::Hand(uint32_t size) {
    handed_ += size;
    std::unique_lock<std::mutex> lock(mutex_);
    pending_.push_back(Piece{std::move(current_), size});
    changed_.notify_all();
    changed_.wait(lock, [this] { return !free_.empty() || failure_ != 0; });
    if (!free_.empty()) {
        current_ = std::move(free_.front());
        free_.pop_front();
    } else {
        current_.reset(new uint8_t[kBufferSize]);  // the thread stopped writing: nothing comes back
    }
    filled_ = 0;
}

uint32_t ContainerWriter::Flush() {
    if (filled_ != 0) Hand(filled_);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return free_.size() == kBuffers - 1 || failure_ != 0; });
    return failure_;
}

uint32_t ContainerWriter::Finish() {
    if (const uint32_t code = Flush(); code != 0) return code;
    std::unique_lock<std::mutex> lock(mutex_);
    // The thread is idle now: its count is settled. A container that had
    // bytes before ends at the new ones.
    if (const int error = SetFileHandleSize(container_, written_); error != 0) return CodeOf(error);
    return 0;
}

uint32_t ContainerWriter::WritePiece(const Piece& piece) {
    if (const int error = WriteFileHandleAt(container_, piece.bytes.get(), piece.size, written_); error != 0) {
        return CodeOf(error);
    }
    written_ += piece.size;
    return 0;
}

void ContainerWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_) return;
        Piece piece = std::move(pending_.front());
        pending_.pop_front();
        lock.unlock();
        const uint32_t code = WritePiece(piece);
        lock.lock();
        if (code != 0) {
            failure_ = code;
            pending_.clear();
        } else {
            free_.push_back(std::move(piece.bytes));
        }
        changed_.notify_all();
    }
}

}  // namespace vxk5
