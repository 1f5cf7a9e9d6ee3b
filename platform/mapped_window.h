#pragma once
// One read-only, private mapping of a window of an open file, unmapped when
// the owner goes: a large file read window by window.

#include <cstddef>
#include <cstdint>

#include "platform/file_handle.h"

namespace vxk5 {

class MappedWindow {
public:
    MappedWindow() = default;
    MappedWindow(MappedWindow&& other) noexcept;
    MappedWindow& operator=(MappedWindow&& other) noexcept;
    MappedWindow(const MappedWindow&) = delete;
    MappedWindow& operator=(const MappedWindow&) = delete;
    ~MappedWindow() { Reset(); }

    // Maps `length` bytes at `offset`, which may lie anywhere: the mapping
    // itself starts at the page boundary at or below it (mmap takes only
    // offsets that are multiples of the page size, which is 64 KiB on some
    // kernels), and Data() points at `offset`. Tells the system the bytes will
    // be read once, in order. False when the mapping fails; the window is then
    // empty. A length of 0 maps nothing and fails.
    [[nodiscard]] bool Map(FileHandle file, uint64_t offset, size_t length);
    void Reset();

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    // The file offset the mapping starts at: a multiple of the page size.
    uint64_t MappedOffset() const { return mappedOffset_; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
    size_t mappingSize_ = 0;
    uint64_t mappedOffset_ = 0;
};

// The page size windows are aligned to: sysconf(_SC_PAGESIZE), unless a test
// set another with SetMappingPageSize (0 returns to the system's).
size_t MappingPageSize();
void SetMappingPageSize(size_t bytes);

// Tells the system that `file` will be read once from start to end. Advice
// only: failures are ignored.
void AdviseSequentialRead(FileHandle file);

}  // namespace vxk5
