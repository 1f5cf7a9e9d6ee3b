#pragma once
// Handle-based file interface on POSIX descriptors, with result codes and one
// process-wide last error. A FileHandle is the descriptor widened to 64 bits;
// -1 is the invalid handle.

#include <cstdint>

#include "base/result_codes.h"
#include "base/wstring.h"

namespace vxk5 {

using FileHandle = int64_t;
constexpr FileHandle INVALID_FILE_HANDLE = -1;

// The POSIX descriptor a handle stands for.
inline int DescriptorOf(FileHandle handle) { return static_cast<int>(handle); }

// 100-nanosecond ticks since 1601-01-01 00:00 UTC, kept as two 32-bit halves
// and compared high half first.
struct FileTime {
    uint32_t low = 0;
    uint32_t high = 0;

    uint64_t Ticks() const { return (static_cast<uint64_t>(high) << 32) | low; }
    static FileTime FromTicks(uint64_t ticks) {
        return FileTime{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    }
    friend bool operator<(const FileTime& a, const FileTime& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
    friend bool operator==(const FileTime& a, const FileTime& b) { return a.high == b.high && a.low == b.low; }
};

constexpr uint32_t FILE_ACCESS_READ = 0x80000000u;
constexpr uint32_t FILE_ACCESS_WRITE = 0x40000000u;
constexpr uint32_t FILE_CREATE = 2;
constexpr uint32_t FILE_OPEN_EXISTING = 3;
constexpr uint32_t FILE_TRUNCATE_EXISTING = 5;
constexpr uint32_t FILE_ATTR_NORMAL = 0x80;
constexpr uint32_t FILE_FLAG_SEQUENTIAL_NORMAL = 0x8000080;
// With FILE_CREATE: fail (EEXIST) unless the file is made by this call; a
// link standing at the name is not followed.
constexpr uint32_t FILE_FLAG_NEW_FILE = 0x00020000;
constexpr uint32_t FILE_FROM_START = 0;
constexpr uint32_t FILE_FROM_CURRENT = 1;
constexpr uint32_t FILE_FROM_END = 2;

// Opens `path` (up to its first 0 unit). `handle` is written only when 0 comes back.
[[nodiscard]] uint32_t CreateFileHandle(const WString& path, uint32_t access, uint32_t shareMode,
                                        uint32_t disposition, FileHandle& handle, uint32_t flags);
// New position from the start; a result whose low 32 bits are all ones is a failure.
int64_t SeekFileHandle(FileHandle handle, int64_t offset, uint32_t origin);
// Tells the system that `handle` will be read once from start to end. Advice
// only: failures are ignored.
void AdviseSequentialRead(FileHandle handle);
// Reads until `size` bytes or the end of the file; the end is not an error.
[[nodiscard]] uint32_t ReadFileHandle(FileHandle handle, void* buffer, uint32_t size, uint32_t* count,
                                      void* reserved);
// One write of the whole buffer; a short write fails with ERR_INVALID_PARAMETER and
// the count written.
[[nodiscard]] uint32_t WriteFileHandle(FileHandle handle, const void* buffer, uint32_t size, uint32_t* count,
                                       void* reserved);
[[nodiscard]] uint32_t CloseFileHandle(FileHandle handle);
// A second handle on the file `handle` is open on, for reading only, with a
// position of its own (also for a file without a name). ERR_SUCCESS, or the open's code.
[[nodiscard]] uint32_t ReopenFileHandleForReading(FileHandle handle, FileHandle& reading);
// Whole-second times: creation from the status-change time, access, modification.
[[nodiscard]] uint32_t GetFileHandleTimes(FileHandle handle, FileTime* creation, FileTime* access,
                                          FileTime* modification);
// Sets access and modification time to the modification time's whole second.
[[nodiscard]] uint32_t SetFileHandleTimes(FileHandle handle, const FileTime* creation, const FileTime* access,
                            const FileTime* modification);
// Ends the file at its current position.
[[nodiscard]] uint32_t TruncateFileHandle(FileHandle handle);
// Writes all `size` bytes at `offset`, neither using nor moving the handle's
// position, going on after short writes and interruptions. 0, or the errno
// value of the failed write (EIO for a write that took nothing).
[[nodiscard]] int WriteFileHandleAt(FileHandle handle, const void* bytes, uint32_t size, uint64_t offset);
// Makes the file exactly `size` bytes long. 0, or the errno value.
[[nodiscard]] int SetFileHandleSize(FileHandle handle, uint64_t size);
[[nodiscard]] uint32_t GetPlatformError();
int64_t FileTimeToUnixTime(FileTime time);
FileTime UnixTimeToFileTime(int64_t seconds);
// `time` without its sub-second ticks: the time a written copy keeps.
FileTime WholeSecondOf(FileTime time);

}  // namespace vxk5
