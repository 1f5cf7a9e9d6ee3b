#include "platform/user_accounts.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/conversion.h"

namespace vxk5 {

uint32_t ThisUserId() { return static_cast<uint32_t>(::getuid()); }

WString HomeDirectoryOf(const AString& user) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    struct passwd entry;
    struct passwd* found = nullptr;
    while (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == 0) return WString();
    return FromMultiByte(AString(found->pw_dir));
}

}  // namespace vxk5
