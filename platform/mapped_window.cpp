#include "platform/mapped_window.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <utility>

namespace vxk5 {

namespace {

std::atomic<size_t> g_pageSizeOverride{0};

size_t SystemPageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<size_t>(size) : 4096;
}

}  // namespace

size_t MappingPageSize() {
    const size_t set = g_pageSizeOverride.load(std::memory_order_relaxed);
    if (set != 0) return set;
    static const size_t system = SystemPageSize();
    return system;
}

void SetMappingPageSize(size_t bytes) { g_pageSizeOverride.store(bytes, std::memory_order_relaxed); }

MappedWindow::MappedWindow(MappedWindow&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mappingSize_(std::exchange(other.mappingSize_, 0)),
      mappedOffset_(std::exchange(other.mappedOffset_, 0)) {}

MappedWindow& MappedWindow::operator=(MappedWindow&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapping_ = std::exchange(other.mapping_, nullptr);
        mappingSize_ = std::exchange(other.mappingSize_, 0);
        mappedOffset_ = std::exchange(other.mappedOffset_, 0);
    }
    return *this;
}

bool MappedWindow::Map(FileHandle file, uint64_t offset, size_t length) {
    Reset();
    if (length == 0 || file < 0) return false;
    const uint64_t page = MappingPageSize();
    const uint64_t start = offset - offset % page;
    const size_t lead = static_cast<size_t>(offset - start);
    if (length > SIZE_MAX - lead) return false;
    const size_t mapped = lead + length;
    void* address = mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE, static_cast<int>(file), static_cast<off_t>(start));
    if (address == MAP_FAILED) return false;
    // The window is read once, front to back: let the kernel read ahead and
    // drop the pages behind.
    madvise(address, mapped, MADV_SEQUENTIAL);
    mapping_ = address;
    mappingSize_ = mapped;
    mappedOffset_ = start;
    data_ = static_cast<const uint8_t*>(address) + lead;
    size_ = length;
    return true;
}

void MappedWindow::Reset() {
    if (mapping_ != nullptr) munmap(mapping_, mappingSize_);
    mapping_ = nullptr;
    mappingSize_ = 0;
    mappedOffset_ = 0;
    data_ = nullptr;
    size_ = 0;
}

void AdviseSequentialRead(FileHandle file) {
    if (file >= 0) posix_fadvise(static_cast<int>(file), 0, 0, POSIX_FADV_SEQUENTIAL);
}

}  // namespace vxk5
