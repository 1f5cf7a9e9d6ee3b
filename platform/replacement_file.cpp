#include "platform/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace vxk5 {

namespace {

constexpr int kMaxLinkDepth = 40;
constexpr int kNameAttempts = 100;

AString DirectoryOf(const AString& path) {
    const AString parent = ParentPath(path);
    return parent.empty() ? AString(".") : parent;
}

// Follows symbolic links to the file that is to be replaced. A dangling link
// yields the missing file it names, which is then created like fopen would.
AString FinalTarget(const AString& path) {
    AString current = path;
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        char link[4096];
        const ssize_t length = readlink(current.c_str(), link, sizeof(link));
        if (length <= 0 || static_cast<size_t>(length) >= sizeof(link)) return current;
        AString next(link, static_cast<size_t>(length));
        if (next[0] != '/') next = DirectoryOf(current) + AString("/") + next;
        current = next;
    }
    return current;
}

AString HexSuffix(uint64_t value) {
    static const char kDigits[] = "0123456789abcdef";
    char text[16];
    for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
    return AString(text, 16);
}

// A name no other writer picks at the same time: pid, clock and a counter.
uint64_t NextNameValue() {
    static std::atomic<uint64_t> counter{0};
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (static_cast<uint64_t>(getpid()) << 40) ^ static_cast<uint64_t>(now.tv_nsec) ^
           (static_cast<uint64_t>(now.tv_sec) << 20) ^ ((counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull);
}

void SyncDirectory(const AString& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // the rename is done; this only makes it durable sooner
    close(fd);
}

}  // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() {
    stream_.reset();
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_ = AString();
}

bool ReplacementFile::Create(const AString& path) {
    Discard();
    target_ = FinalTarget(path);
    struct stat old;
    const bool exists = stat(target_.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return false;

    int fd = -1;
    AString name;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        name = target_ + AString(".") + HexSuffix(NextNameValue());
        // 0666 less the umask, as fopen creates files.
        fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    temporary_ = name;
    if (exists) {
        // Keep the owner where allowed (a file rewritten by root stays the
        // user's), then the permission bits, which a change of owner may clear.
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // not the owner's to give away: the file becomes the writer's
        }
        if (fchmod(fd, old.st_mode & 07777) != 0) {
            close(fd);
            Discard();
            return false;
        }
    }
    stream_.reset(fdopen(fd, "w"));
    if (!stream_) {
        close(fd);
        Discard();
        return false;
    }
    return true;
}

bool ReplacementFile::Commit() {
    if (!stream_) return false;
    const bool written = std::fflush(stream_.get()) == 0 && fsync(fileno(stream_.get())) == 0;
    std::FILE* stream = stream_.release();
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed || rename(temporary_.c_str(), target_.c_str()) != 0) {
        Discard();
        return false;
    }
    temporary_ = AString();
    SyncDirectory(DirectoryOf(target_));
    return true;
}

}  // namespace vxk5
