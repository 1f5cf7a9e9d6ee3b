#pragma once
// A file descriptor owned by one object: closed when the object goes. The one
// owner of an open file or directory, whether it came from the handle-based
// file interface (DescriptorOf a FileHandle) or straight from the system.
//
// Closing on destruction leaves the process-wide last error alone: the failure
// a caller is about to report stays the one it reads. Where a failed close can
// mean lost data, Release the descriptor and close it with CloseFileHandle, or
// call Close.

#include <unistd.h>

#include <cerrno>

namespace vxk5 {

class OwnedDescriptor {
public:
    OwnedDescriptor() = default;
    explicit OwnedDescriptor(int fd) : fd_(fd) {}
    ~OwnedDescriptor() { Reset(); }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    OwnedDescriptor(OwnedDescriptor&& other) noexcept : fd_(other.Release()) {}
    OwnedDescriptor& operator=(OwnedDescriptor&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it; -1 when none was held.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and says how the close went: 0 or the errno value.
    [[nodiscard]] int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

}  // namespace vxk5
