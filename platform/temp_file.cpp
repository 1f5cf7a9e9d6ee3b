// CreateTempFile: a new empty file with a random name, made atomically.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <cstdlib>
#include <string>

#include "base/conversion.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

namespace {

constexpr int kAttempts = 100;

std::atomic<bool> g_unnamedFilesAllowed{true};
constexpr size_t kSuffixLength = 6;
constexpr char kSuffixAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// A directory a file can be made in: searchable and writable.
bool IsUsableDirectory(const char* path) {
    struct stat status;
    return path != nullptr && *path != 0 && ::stat(path, &status) == 0 && S_ISDIR(status.st_mode) &&
           ::access(path, W_OK | X_OK) == 0;
}

// The order of the platform's temporary-name rule: TMPDIR, then the caller's
// directory, then /tmp. Empty when none of them is usable.
std::string ChooseDirectory(const AString& requested) {
    const char* variable = std::getenv("TMPDIR");
    if (IsUsableDirectory(variable)) return variable;
    if (IsUsableDirectory(requested.c_str())) return requested.c_str();
    if (IsUsableDirectory("/tmp")) return "/tmp";
    return std::string();
}

bool RandomBytes(unsigned char* bytes, size_t count) {
    size_t have = 0;
    while (have < count) {
        const ssize_t got = ::getrandom(bytes + have, count - have, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        have += static_cast<size_t>(got);
    }
    if (have == count) return true;
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    OwnedDescriptor source(fd);
    have = 0;
    while (have < count) {
        const ssize_t got = ::read(source.Get(), bytes + have, count - have);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        have += static_cast<size_t>(got);
    }
    return true;
}

// `base` followed by six random letters and digits; empty when no random
// bytes can be had.
std::string WithRandomSuffix(const std::string& base) {
    unsigned char random[kSuffixLength];
    if (!RandomBytes(random, sizeof random)) return std::string();
    std::string name = base;
    for (unsigned char byte : random) name += kSuffixAlphabet[byte % (sizeof kSuffixAlphabet - 1)];
    return name;
}

}  // namespace

bool CouldCreateFileIn(const WString& directory) {
    AString bytes;
    if (directory.empty() || !ToMultiByteWhole(directory, bytes)) return false;
    struct stat status;
    return ::stat(bytes.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           ::access(bytes.c_str(), W_OK | X_OK) == 0;
}

uint32_t CreateTempFile(const WString& directory, const WString& prefix, WString& path) {
    path = WString();
    AString directoryBytes;
    AString prefixBytes;
    if (!ToMultiByteWhole(directory, directoryBytes) || !ToMultiByteWhole(prefix, prefixBytes)) {
        return ERR_TEMP_NOT_CREATED;
    }
    // Bytes are assembled in a std::string: paths here never hold a 0 byte.
    std::string base = ChooseDirectory(directoryBytes);
    if (base.empty()) return ERR_TEMP_NOT_CREATED;
    while (base.length() > 1 && base.back() == '/') base.pop_back();
    if (base.back() != '/') base += '/';
    base += prefixBytes.c_str();

    // Exclusive creation: the name is ours only if this call made the file, so
    // no other process (or symbolic link planted in a shared directory) can
    // slip in between naming and creating.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string name = WithRandomSuffix(base);
        if (name.empty()) return ERR_TEMP_NOT_CREATED;
        path = FromMultiByte(name);
        const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return ERR_SUCCESS;
        }
        if (errno != EEXIST && errno != EINTR) return ERR_TEMP_NOT_CREATED;
    }
    return ERR_TEMP_NOT_CREATED;
}

bool CanCreateFileIn(const WString& directory, const WString& prefix) {
    AString directoryBytes;
    AString prefixBytes;
    if (directory.empty() || !ToMultiByteWhole(directory, directoryBytes) || !ToMultiByteWhole(prefix, prefixBytes)) {
        return false;
    }
    std::string base(directoryBytes.c_str(), directoryBytes.length());
    if (base.back() != '/') base += '/';
    base += prefixBytes.c_str();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string name = WithRandomSuffix(base);
        if (name.empty()) return false;
        // Exclusive creation in the directory itself: a missing directory, one
        // without write permission or a read-only file system fails here.
        const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(name.c_str());
            return true;
        }
        if (errno != EEXIST && errno != EINTR) return false;
    }
    return false;
}

uint32_t CreateUnnamedTempFile(const WString& directory, const WString& prefix, FileHandle& handle) {
    handle = INVALID_FILE_HANDLE;
    AString directoryBytes;
    if (!ToMultiByteWhole(directory, directoryBytes)) return ERR_TEMP_NOT_CREATED;
    const std::string base = ChooseDirectory(directoryBytes);
    if (base.empty()) return ERR_TEMP_NOT_CREATED;
    if (g_unnamedFilesAllowed.load(std::memory_order_relaxed)) {
        // No name at all: the file goes with its last descriptor, whatever
        // ends the process.
        const int fd = ::open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            handle = fd;
            return ERR_SUCCESS;
        }
        // Only a file system (or kernel) without unnamed files falls back;
        // any other failure would fail the named file as well.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return ERR_TEMP_NOT_CREATED;
    }
    // A named file, unlinked at once: only a kill in between leaves it.
    WString path;
    if (CreateTempFile(directory, prefix, path) != ERR_SUCCESS) return ERR_TEMP_NOT_CREATED;
    AString pathBytes;
    if (!ToMultiByteWhole(path, pathBytes)) return ERR_TEMP_NOT_CREATED;
    const int fd = ::open(pathBytes.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    ::unlink(pathBytes.c_str());
    if (fd < 0) return ERR_TEMP_NOT_CREATED;
    handle = fd;
    return ERR_SUCCESS;
}

void AllowUnnamedTempFiles(bool allowed) { g_unnamedFilesAllowed.store(allowed, std::memory_order_relaxed); }

}  // namespace vxk5
