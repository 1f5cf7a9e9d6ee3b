#include "platform/entry_details.h"

#include <sys/stat.h>

#include <cerrno>

namespace vxk5 {

namespace {

FileType TypeOf(mode_t mode) {
    if (S_ISREG(mode)) return FileType::Regular;
    if (S_ISDIR(mode)) return FileType::Directory;
    if (S_ISLNK(mode)) return FileType::Link;
    if (S_ISFIFO(mode)) return FileType::Fifo;
    if (S_ISSOCK(mode)) return FileType::Socket;
    if (S_ISCHR(mode)) return FileType::CharacterDevice;
    if (S_ISBLK(mode)) return FileType::BlockDevice;
    return FileType::Unknown;
}

void Describe(const struct stat& info, EntryDetails& details) {
    details.type = TypeOf(info.st_mode);
    details.size = static_cast<uint64_t>(info.st_size);
    details.modifiedSeconds = info.st_mtim.tv_sec;
    details.modifiedNanoseconds = info.st_mtim.tv_nsec;
    details.identity = EntryIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    details.owner = static_cast<uint32_t>(info.st_uid);
    details.permissions = static_cast<unsigned>(info.st_mode) & 07777u;
}

}  // namespace

int DescribeEntry(const std::string& path, LinkHandling links, EntryDetails& details) {
    struct stat info {};
    const int result = links == LinkHandling::Follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (result != 0) return errno;
    Describe(info, details);
    return 0;
}

int DescribeOpenEntry(int descriptor, EntryDetails& details) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) return errno;
    Describe(info, details);
    return 0;
}

}  // namespace vxk5
