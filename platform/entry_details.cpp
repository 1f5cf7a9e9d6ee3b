#include "platform/entry_details.h"

#include <sys/stat.h>

#include <cerrno>

namespace vxk5 {

namespace {

EntryKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::File;
    if (S_ISDIR(mode)) return EntryKind::Directory;
    if (S_ISLNK(mode)) return EntryKind::Link;
    if (S_ISFIFO(mode)) return EntryKind::Fifo;
    if (S_ISSOCK(mode)) return EntryKind::Socket;
    if (S_ISCHR(mode)) return EntryKind::CharacterDevice;
    if (S_ISBLK(mode)) return EntryKind::BlockDevice;
    return EntryKind::Other;
}

void Describe(const struct stat& info, EntryDetails& details) {
    details.kind = KindOf(info.st_mode);
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
