#include "platform/kernel_copy.h"

#include <unistd.h>

namespace vxk5 {

int64_t CopyInKernel(int from, int64_t* fromOffset, int to, size_t length) {
    static_assert(sizeof(off64_t) == sizeof(int64_t), "a file offset is 64 bits");
    off64_t offset = static_cast<off64_t>(*fromOffset);
    const ssize_t copied = ::copy_file_range(from, &offset, to, nullptr, length, 0);
    *fromOffset = static_cast<int64_t>(offset);
    return copied;
}

}  // namespace vxk5
