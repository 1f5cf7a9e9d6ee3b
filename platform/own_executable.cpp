#include "platform/own_executable.h"

#include <unistd.h>

namespace vxk5 {

namespace {

constexpr size_t kLinkBufferSize = 260;

}  // namespace

bool OwnExecutableDirectory(AString& directory) {
    char buffer[kLinkBufferSize] = {};
    const ssize_t length = ::readlink("/proc/self/exe", buffer, kLinkBufferSize);
    // A path that fills the buffer may have been cut: no path rather than a wrong one.
    if (length <= 0 || static_cast<size_t>(length) >= kLinkBufferSize) return false;
    const AString target(buffer, static_cast<size_t>(length));
    const size_t slash = target.rfind('/');
    directory = slash == AString::npos ? target : target.substr(0, slash);
    return true;
}

}  // namespace vxk5
