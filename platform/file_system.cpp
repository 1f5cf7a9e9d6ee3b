// The queries of the file-system interface: the temporary directory, file
// sizes, free space, the home directory, and standard streams by path.
#include "platform/file_system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/conversion.h"

namespace vxk5 {

namespace {

// The text of `units` up to its first 0 unit.
WString UpToZero(const char16_t* units) {
    if (units == nullptr) return WString();
    size_t length = 0;
    while (units[length] != 0) ++length;
    return WString(units, length);
}

}  // namespace

uint32_t GetTempDirectory(WString& directory) {
    AString bytes("/tmp");
    const char* variable = std::getenv("TMPDIR");
    struct stat status;
    if (variable != nullptr && ::stat(variable, &status) == 0 && S_ISDIR(status.st_mode)) bytes = AString(variable);
    WString result = FromMultiByte(bytes);
    if (!result.empty() && result.back() != u'/') result += u'/';
    directory = result;
    return ERR_SUCCESS;
}

uint32_t GetFileSizeByPath(const WString& path, uint32_t* size) {
    if (size == nullptr) return 1;
    uint64_t whole = 0;
    if (GetFileSize64ByPath(path, &whole) != ERR_SUCCESS) return 1;
    *size = static_cast<uint32_t>(whole);  // the low 32 bits
    return ERR_SUCCESS;
}

uint32_t GetFileSize64ByPath(const WString& path, uint64_t* size) {
    if (size == nullptr) return 1;
    struct stat64 status;
    AString bytes;
    if (!ToMultiByteWhole(path, bytes) || ::stat64(bytes.c_str(), &status) != 0) return 1;
    *size = static_cast<uint64_t>(status.st_size);
    return ERR_SUCCESS;
}

namespace {

// Free blocks include those kept for the superuser. No file system holds
// 2^64 bytes, but a bogus block count must not wrap into a small number.
uint64_t FreeBytesOf(const struct statvfs64& status) {
    const uint64_t blockSize = status.f_frsize;
    const uint64_t blocks = status.f_bfree;
    return blockSize != 0 && blocks > UINT64_MAX / blockSize ? UINT64_MAX : blockSize * blocks;
}

}  // namespace

uint32_t GetTempFreeSpace(uint64_t* bytes) {
    if (bytes == nullptr) return ERR_INVALID_PARAMETER;
    *bytes = 0;
    WString directory;
    (void)GetTempDirectory(directory);  // cannot fail: TMPDIR when usable, else "/tmp"
    struct statvfs64 status;
    AString directoryBytes;
    if (!ToMultiByteWhole(directory, directoryBytes) || ::statvfs64(directoryBytes.c_str(), &status) != 0) {
        return ERR_SUCCESS;  // unknown reads as none
    }
    *bytes = FreeBytesOf(status);
    return ERR_SUCCESS;
}

int GetFreeSpaceAt(const std::string& path, uint64_t& bytes) {
    bytes = 0;
    struct statvfs64 status;
    if (::statvfs64(path.c_str(), &status) != 0) return errno;
    bytes = FreeBytesOf(status);
    return 0;
}

// HOME when it is set, else the user database: what the expansion of "~"
// yields, without handing any text to a word expander. A user without a home
// gives the empty text, not a literal "~".
WString GetHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr) return FromMultiByte(AString(home));
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (bufferSize <= 0) bufferSize = 16384;
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    struct passwd entry;
    struct passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr) return WString();
    return FromMultiByte(AString(found->pw_dir));
}

StdioFile OpenStdioFile(const char16_t* path, const char16_t* mode) {
    AString pathBytes;
    AString modeBytes;
    if (!ToMultiByteWhole(UpToZero(path), pathBytes) || !ToMultiByteWhole(UpToZero(mode), modeBytes)) return nullptr;
    return StdioFile(std::fopen(pathBytes.c_str(), modeBytes.c_str()));
}

uint32_t OpenRegularFile(const WString& path, StdioFile& file) {
    file.reset();
    AString bytes;
    if (!ToMultiByteWhole(path, bytes)) return ERR_INVALID_PARAMETER;
    int fd;
    do {
        fd = ::open(bytes.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == ENOENT ? ERR_NOT_FOUND : ERR_INVALID_PARAMETER;
    struct stat status;
    // Reads of a regular file never wait; the flag is cleared all the same.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return ERR_INVALID_PARAMETER;
    }
    file.reset(::fdopen(fd, "r"));
    if (!file) {
        ::close(fd);
        return ERR_INVALID_PARAMETER;
    }
    return ERR_SUCCESS;
}

bool IsRegularFile(const WString& path) {
    AString bytes;
    struct stat status;
    return ToMultiByteWhole(path, bytes) && ::stat(bytes.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace vxk5
