#pragma once
// Copying bytes between two open files inside the kernel, without passing
// them through this process.

#include <cstddef>
#include <cstdint>

namespace vxk5 {

// copy_file_range(2) from `from` at `*fromOffset` (advanced by the count
// copied; the file's own position is neither used nor moved) to `to` at its
// position. The count copied, 0 at the end of `from`, or -1 with errno set
// (EXDEV, EINVAL, ENOSYS or EOPNOTSUPP where the kernel cannot copy between
// these two files).
int64_t CopyInKernel(int from, int64_t* fromOffset, int to, size_t length);

// A function that copies as CopyInKernel does (tests put another in its place).
using KernelCopyFunction = int64_t (*)(int from, int64_t* fromOffset, int to, size_t length);

}  // namespace vxk5
