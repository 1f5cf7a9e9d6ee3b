#pragma once
// The write side of unpacking: the inflated bytes are handed over in large
// buffers and written to the container by a thread of its own, so that writing
// overlaps inflating.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/file_handle.h"

namespace vxk5 {

class ContainerWriter {
public:
    // Writes to `container` from offset 0; the caller keeps the handle open
    // until Finish() has returned or the writer is gone.
    explicit ContainerWriter(FileHandle container);
    ~ContainerWriter();  // stops the thread; bytes not yet written are dropped
    ContainerWriter(const ContainerWriter&) = delete;
    ContainerWriter& operator=(const ContainerWriter&) = delete;

    // The room to inflate into: Room() bytes at Space(). Never empty.
    uint8_t* Space() { return current_.get() + filled_; }
    uint32_t Room() const { return kBufferSize - filled_; }
    // `produced` more bytes lie at Space(); a full buffer goes to the thread.
    // ERR_SUCCESS, or the code of a write that failed meanwhile: ERR_DISK_FULL
    // when the file system is full, ERR_INVALID_PARAMETER otherwise.
    [[nodiscard]] uint32_t Advance(uint32_t produced);
    // Writes the bytes produced so far and waits for every write: the
    // container then holds them, and more can follow. ERR_SUCCESS,
    // ERR_DISK_FULL or ERR_INVALID_PARAMETER.
    [[nodiscard]] uint32_t Flush();
    // Flush, then cuts the container to the bytes written. ERR_SUCCESS,
    // ERR_DISK_FULL or ERR_INVALID_PARAMETER.
    [[nodiscard]] uint32_t Finish();
    // The bytes produced so far (written or not).
    uint64_t Produced() const { return handed_ + filled_; }

    // Bytes per buffer handed to the thread: few large writes.
    static constexpr uint32_t kBufferSize = 1 << 20;

private:
    using Buffer = std::unique_ptr<uint8_t[]>;
    struct Piece {
        Buffer bytes;
        uint32_t size;
    };

    void Hand(uint32_t size);  // the current buffer to the thread, a free one back
    void Run();                // the thread: writes the pieces in order
    [[nodiscard]] uint32_t WritePiece(const Piece& piece);

    FileHandle container_;
    Buffer current_;
    uint32_t filled_ = 0;
    uint64_t handed_ = 0;  // bytes of the buffers handed to the thread

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> pending_;  // full buffers, in order, not yet written
    std::deque<Buffer> free_;    // buffers written and ready for reuse
    bool stopping_ = false;
    uint32_t failure_ = 0;  // the first failed write's code
    // Only the thread touches this while it runs.
    uint64_t written_ = 0;
    std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace vxk5
