#include "platform/policy_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/conversion.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

namespace {

SmallFileRead ReadFile(const WString& path, size_t maxBytes, bool requireProtected, std::string& contents) {
    contents.clear();
    AString bytes;
    if (!ToMultiByteWhole(path, bytes)) return SmallFileRead::Unreadable;
    int fd;
    do {
        fd = ::open(bytes.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == ENOENT ? SmallFileRead::Missing : SmallFileRead::Unreadable;
    OwnedDescriptor file(fd);
    struct stat status;
    if (::fstat(file.Get(), &status) != 0) return SmallFileRead::Unreadable;
    if (!S_ISREG(status.st_mode)) return SmallFileRead::NotRegular;
    if (requireProtected && (status.st_uid != 0 || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)) {
        return SmallFileRead::NotProtected;
    }
    if (static_cast<uint64_t>(status.st_size) > maxBytes) return SmallFileRead::TooLarge;
    // Read up to one byte more than allowed: the file may have grown since fstat.
    std::string text(maxBytes + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.Get(), &text[got], text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SmallFileRead::Unreadable;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got > maxBytes) return SmallFileRead::TooLarge;
    text.resize(got);
    contents = std::move(text);
    return SmallFileRead::Read;
}

}  // namespace

std::vector<WString> ListNamesEndingWith(const WString& directory, const char* suffix) {
    std::vector<AString> names;
    AString path;
    if (!ToMultiByteWhole(directory, path)) return {};
    DIR* stream = ::opendir(path.c_str());
    if (stream == nullptr) return {};
    const size_t suffixLength = std::strlen(suffix);
    while (const struct dirent* entry = ::readdir(stream)) {
        const size_t length = std::strlen(entry->d_name);
        if (length > suffixLength && std::strcmp(entry->d_name + length - suffixLength, suffix) == 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end(),
              [](const AString& a, const AString& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
    std::vector<WString> result;
    for (const AString& name : names) result.push_back(FromMultiByte(name));
    return result;
}

SmallFileRead ReadSmallFile(const WString& path, size_t maxBytes, std::string& contents) {
    return ReadFile(path, maxBytes, false, contents);
}

SmallFileRead ReadProtectedFile(const WString& path, size_t maxBytes, std::string& contents) {
    return ReadFile(path, maxBytes, true, contents);
}

}  // namespace vxk5
