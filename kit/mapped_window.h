#pragma once
// One read-only, private mapping of a window of an open file, unmapped when
// the owner goes. The kit is read through one such window at a time.

#include <cstddef>
#include <cstdint>

#include "platform/file_handle.h"

class MappedWindow {
public:
    MappedWindow() = default;
    MappedWindow(MappedWindow&& other) noexcept;
    MappedWindow& operator=(MappedWindow&& other) noexcept;
    MappedWindow(const MappedWindow&) = delete;
    MappedWindow& operator=(const MappedWindow&) = delete;
    ~MappedWindow() { Reset(); }

    // Maps `length` bytes at `offset` (a multiple of the page size) and tells
    // the system they will be read once, in order. False when the mapping fails;
    // the window is then empty. A length of 0 maps nothing and fails.
    [[nodiscard]] bool Map(FileHandle file, uint64_t offset, size_t length);
    void Reset();

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Tells the system that `file` will be read once from start to end. Advice
// only: failures are ignored.
void AdviseSequentialRead(FileHandle file);
