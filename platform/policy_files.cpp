#include "platform/policy_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/conversion.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

namespace {

// Owned by root and writable by nobody else.
bool OnlyRootWrites(const struct stat& status) {
    return status.st_uid == 0 && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

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
    if (requireProtected && !OnlyRootWrites(status)) return SmallFileRead::NotProtected;
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

PolicyDirectory ExaminePolicyDirectory(const WString& directory) {
    AString bytes;
    if (!ToMultiByteWhole(directory, bytes)) return PolicyDirectory::Unexaminable;
    std::string path(bytes.c_str());
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat status;
    if (::stat(parent.c_str(), &status) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? PolicyDirectory::Absent : PolicyDirectory::Unexaminable;
    }
    if (!S_ISDIR(status.st_mode)) return PolicyDirectory::Absent;
    if (!OnlyRootWrites(status)) return PolicyDirectory::NotProtected;
    if (::stat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? PolicyDirectory::Absent : PolicyDirectory::Unexaminable;
    }
    if (!S_ISDIR(status.st_mode)) return PolicyDirectory::NotDirectory;
    if (!OnlyRootWrites(status)) return PolicyDirectory::NotProtected;
    // A link may lead elsewhere: the directory that holds its target counts too.
    if (::stat((path + "/..").c_str(), &status) != 0) return PolicyDirectory::Unexaminable;
    return OnlyRootWrites(status) ? PolicyDirectory::Protected : PolicyDirectory::NotProtected;
}

bool ListEntryNames(const WString& directory, std::vector<WString>& result) {
    result.clear();
    AString path;
    if (!ToMultiByteWhole(directory, path)) return false;
    DIR* stream = ::opendir(path.c_str());
    if (stream == nullptr) return false;
    std::vector<AString> names;
    errno = 0;
    while (const struct dirent* entry = ::readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    const bool complete = errno == 0;
    ::closedir(stream);
    std::sort(names.begin(), names.end(),
              [](const AString& a, const AString& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
    for (const AString& name : names) result.push_back(FromMultiByte(name));
    return complete;
}

SmallFileRead ReadSmallFile(const WString& path, size_t maxBytes, std::string& contents) {
    return ReadFile(path, maxBytes, false, contents);
}

SmallFileRead ReadProtectedFile(const WString& path, size_t maxBytes, std::string& contents) {
    return ReadFile(path, maxBytes, true, contents);
}

}  // namespace vxk5
