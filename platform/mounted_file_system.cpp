#include "platform/mounted_file_system.h"

#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

namespace vxk5 {

int SyncFileSystemOf(int descriptor) { return ::syncfs(descriptor) == 0 ? 0 : errno; }

bool OnUserSpaceFileSystem(int descriptor) {
    struct statfs system;
    constexpr decltype(system.f_type) kFuseMagic = 0x65735546;
    return ::fstatfs(descriptor, &system) == 0 && system.f_type == kFuseMagic;
}

}  // namespace vxk5
