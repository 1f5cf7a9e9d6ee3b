#include "platform/file_handle.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "base/file_time_units.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

// Unsigned, so that a time before 1601 wraps instead of overflowing.
constexpr uint64_t kTicksPerSecond = static_cast<uint64_t>(kFileTimeTicksPerSecond);
constexpr uint64_t kEpochDifferenceSeconds = static_cast<uint64_t>(kFileTimeEpochOffsetSeconds);
constexpr uint64_t kEpochDifferenceTicks = kEpochDifferenceSeconds * kTicksPerSecond;

}  // namespace

int64_t FileTimeToUnixTime(FileTime time) {
    return static_cast<int64_t>(time.Ticks() / kTicksPerSecond - kEpochDifferenceSeconds);
}

FileTime UnixTimeToFileTime(int64_t seconds) {
    // Unsigned arithmetic: a time before 1601 wraps instead of overflowing.
    return FileTime::FromTicks(static_cast<uint64_t>(seconds) * kTicksPerSecond + kEpochDifferenceTicks);
}

FileTime WholeSecondOf(FileTime time) { return FileTime::FromTicks(time.Ticks() - time.Ticks() % kTicksPerSecond); }

uint32_t GetFileHandleTimes(FileHandle handle, FileTime* creation, FileTime* access, FileTime* modification) {
    ClearPlatformError();
    if (handle == INVALID_FILE_HANDLE) return FailWith(ERR_INVALID_HANDLE);
    struct stat64 status;
    if (::fstat64(DescriptorOf(handle), &status) != 0) return FailWithErrno(errno, ERR_INVALID_HANDLE);
    // Whole seconds only; there is no birth time, the status change stands in.
    if (creation != nullptr) *creation = UnixTimeToFileTime(status.st_ctime);
    if (access != nullptr) *access = UnixTimeToFileTime(status.st_atime);
    if (modification != nullptr) *modification = UnixTimeToFileTime(status.st_mtime);
    return ERR_SUCCESS;
}

uint32_t SetFileHandleTimes(FileHandle handle, const FileTime* /*creation*/, const FileTime* /*access*/,
                            const FileTime* modification) {
    ClearPlatformError();
    if (handle == INVALID_FILE_HANDLE) return FailWith(ERR_INVALID_HANDLE);
    if (modification == nullptr) return FailWith(ERR_INVALID_PARAMETER);
    // Access and modification both become the modification time's second.
    // A file whose time cannot be set would be taken as up to date, or as
    // out of date, for good: the failure is reported.
    const struct timespec times[2] = {{static_cast<time_t>(FileTimeToUnixTime(*modification)), 0},
                                      {static_cast<time_t>(FileTimeToUnixTime(*modification)), 0}};
    if (::futimens(DescriptorOf(handle), times) != 0) return FailWithErrno(errno);
    return ERR_SUCCESS;
}

}  // namespace vxk5
