#include "kit/mapped_window.h"

#include <fcntl.h>
#include <sys/mman.h>

#include <utility>

MappedWindow::MappedWindow(MappedWindow&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedWindow& MappedWindow::operator=(MappedWindow&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

bool MappedWindow::Map(FileHandle file, uint64_t offset, size_t length) {
    Reset();
    if (length == 0 || file < 0) return false;
    void* address = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, static_cast<int>(file), static_cast<off_t>(offset));
    if (address == MAP_FAILED) return false;
    // The window is read once, front to back: let the kernel read ahead and
    // drop the pages behind.
    madvise(address, length, MADV_SEQUENTIAL);
    data_ = static_cast<const uint8_t*>(address);
    size_ = length;
    return true;
}

void MappedWindow::Reset() {
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
}

void AdviseSequentialRead(FileHandle file) {
    if (file >= 0) posix_fadvise(static_cast<int>(file), 0, 0, POSIX_FADV_SEQUENTIAL);
}
