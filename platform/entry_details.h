#pragma once
// What stands at a path, in the detail a tool that walks a tree needs: its
// kind, size, modification time to the nanosecond, identity, owner and
// permissions.

#include <cstdint>
#include <string>

#include "platform/file_entries.h"

namespace vxk5 {

// Whether a symbolic link at the path itself is followed to what it points to.
enum class LinkHandling { Follow, DoNotFollow };

struct EntryDetails {
    EntryKind kind = EntryKind::Other;  // never Missing: nothing is described then
    uint64_t size = 0;
    int64_t modifiedSeconds = 0;      // POSIX time
    int64_t modifiedNanoseconds = 0;  // 0..999999999
    EntryIdentity identity;
    uint32_t owner = 0;        // the owning user's id
    unsigned permissions = 0;  // the permission bits, set-id and sticky bits included (07777)
};

// stat(2) (Follow) or lstat(2) (DoNotFollow). 0, or the errno value (ENOENT
// when nothing is there, or when a followed link dangles).
[[nodiscard]] int DescribeEntry(const std::string& path, LinkHandling links, EntryDetails& details);

// fstat(2) of an open descriptor: the same of the file it holds. 0, or errno.
[[nodiscard]] int DescribeOpenEntry(int descriptor, EntryDetails& details);

}  // namespace vxk5
