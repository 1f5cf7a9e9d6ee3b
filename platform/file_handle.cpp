#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/conversion.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

int OpenFlags(uint32_t access, uint32_t disposition, uint32_t attributes) {
    int flags = O_RDONLY;
    if (access >= (FILE_ACCESS_READ | FILE_ACCESS_WRITE)) {
        flags = O_RDWR;
    } else if ((access & FILE_ACCESS_WRITE) != 0) {
        flags = O_WRONLY;
    }
    // FILE_CREATE keeps an existing file's bytes: rewriting callers end the
    // file with TruncateFileHandle. 1 and 4 behave as FILE_OPEN_EXISTING.
    if (disposition == FILE_CREATE) flags |= O_CREAT;
    if (disposition == FILE_TRUNCATE_EXISTING) flags |= O_TRUNC;
    // Only a file that is not there yet, and never through a link at the name.
    if (disposition == FILE_CREATE && (attributes & FILE_FLAG_NEW_FILE) != 0) flags |= O_EXCL | O_NOFOLLOW;
    // Descriptors are not handed to the utilities the file-system commands start.
    return flags | O_CLOEXEC;
}

}  // namespace

uint32_t CreateFileHandle(const WString& path, uint32_t access, uint32_t /*shareMode*/, uint32_t disposition,
                          FileHandle& handle, uint32_t flags) {
    ClearPlatformError();
    AString bytes;
    // A path cut short at a 0 unit or an unencodable unit names another file.
    if (!ToMultiByteWhole(path, bytes)) return FailWith(ERR_INVALID_PARAMETER);
    int fd;
    do {
        // O_NONBLOCK: opening a FIFO would otherwise wait for its other end.
        fd = ::open(bytes.c_str(), OpenFlags(access, disposition, flags) | O_NONBLOCK | O_NOCTTY, 0660);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return FailWithErrno(errno);
    // A FIFO or socket is no file: reading or writing it could wait for ever.
    struct stat status;
    if (::fstat(fd, &status) != 0 || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return FailWith(ERR_INVALID_PARAMETER);
    }
    handle = static_cast<FileHandle>(fd);
    return ERR_SUCCESS;
}

int WriteFileHandleAt(FileHandle handle, const void* bytes, uint32_t size, uint64_t offset) {
    const auto* from = static_cast<const unsigned char*>(bytes);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t count = ::pwrite64(DescriptorOf(handle), from + done, size - done, static_cast<off64_t>(offset + done));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return errno;
        if (count == 0) return EIO;
        done += static_cast<uint32_t>(count);
    }
    return 0;
}

int SetFileHandleSize(FileHandle handle, uint64_t size) {
    return ::ftruncate64(DescriptorOf(handle), static_cast<off64_t>(size)) == 0 ? 0 : errno;
}

uint32_t ReopenFileHandleForReading(FileHandle handle, FileHandle& reading) {
    ClearPlatformError();
    if (handle == INVALID_FILE_HANDLE) return FailWith(ERR_INVALID_HANDLE);
    // The descriptor's entry under /proc opens the file itself, whatever its
    // name is now or whether it has one.
    const std::string self = "/proc/self/fd/" + std::to_string(DescriptorOf(handle));
    int fd;
    do {
        fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return FailWithErrno(errno);
    reading = static_cast<FileHandle>(fd);
    return ERR_SUCCESS;
}

int64_t SeekFileHandle(FileHandle handle, int64_t offset, uint32_t origin) {
    ClearPlatformError();
    if (handle == INVALID_FILE_HANDLE) {
        (void)FailWith(ERR_INVALID_HANDLE);  // a seek reports its code as the last error only
        return 0xFFFFFFFF;
    }
    const int whence = origin == FILE_FROM_CURRENT ? SEEK_CUR : origin == FILE_FROM_END ? SEEK_END : SEEK_SET;
    const off64_t position = ::lseek64(DescriptorOf(handle), offset, whence);
    if (position < 0) (void)FailWithErrno(errno);  // the last error: the position says only that it failed
    return position;
}

uint32_t ReadFileHandle(FileHandle handle, void* buffer, uint32_t size, uint32_t* count, void* reserved) {
    ClearPlatformError();
    if (count == nullptr) return reserved == nullptr ? FailWith(ERR_INVALID_PARAMETER) : ERR_SUCCESS;
    *count = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (*count < size) {
        const ssize_t got = ::read(DescriptorOf(handle), bytes + *count, size - *count);
        if (got < 0) {
            if (errno == EINTR) continue;
            return FailWithErrno(errno);
        }
        if (got == 0) break;  // end of file is not an error
        *count += static_cast<uint32_t>(got);
    }
    return ERR_SUCCESS;
}

uint32_t WriteFileHandle(FileHandle handle, const void* buffer, uint32_t size, uint32_t* count, void* reserved) {
    ClearPlatformError();
    if (count == nullptr && reserved == nullptr) return FailWith(ERR_INVALID_PARAMETER);
    if (handle == INVALID_FILE_HANDLE) return FailWith(ERR_INVALID_HANDLE);
    if (count == nullptr) return ERR_SUCCESS;
    // Writes until the whole buffer is out; the count says how much reached the
    // file when a write fails or stops short (a full disk, a pipe closed).
    *count = 0;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (*count < size) {
        const ssize_t put = ::write(DescriptorOf(handle), bytes + *count, size - *count);
        if (put < 0) {
            if (errno == EINTR) continue;
            return FailWithErrno(errno);
        }
        if (put == 0) return FailWith(ERR_INVALID_PARAMETER);
        *count += static_cast<uint32_t>(put);
    }
    return ERR_SUCCESS;
}

uint32_t CloseFileHandle(FileHandle handle) {
    // Leaves the last error alone on success. EINTR is not retried: the
    // descriptor is released either way on Linux.
    if (::close(DescriptorOf(handle)) != 0) return FailWithErrno(errno);
    return ERR_SUCCESS;
}

uint32_t TruncateFileHandle(FileHandle handle) {
    ClearPlatformError();
    if (handle == INVALID_FILE_HANDLE) return FailWith(ERR_INVALID_HANDLE);
    const off64_t position = ::lseek64(DescriptorOf(handle), 0, SEEK_CUR);
    if (position < 0) return FailWithErrno(errno);
    if (::ftruncate64(DescriptorOf(handle), position) != 0) return FailWithErrno(errno);
    return ERR_SUCCESS;
}

void AdviseSequentialRead(FileHandle handle) {
    if (handle >= 0) posix_fadvise(static_cast<int>(handle), 0, 0, POSIX_FADV_SEQUENTIAL);
}

}  // namespace vxk5
