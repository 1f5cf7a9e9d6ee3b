#pragma once
// The file system an open file or directory lives on, taken as a whole: what
// kind it is, and writing all it holds back to its storage.

namespace vxk5 {

// syncfs(2): everything written to the file system of `descriptor` reaches
// its storage. 0, or the errno value (EBADF for a descriptor opened only to
// look names up in, DirectoryAccess::LookUp).
[[nodiscard]] int SyncFileSystemOf(int descriptor);

// Whether `descriptor` lives on a file system in user space (FUSE), which
// need not pass a syncfs on to its storage. False when it cannot be told.
bool OnUserSpaceFileSystem(int descriptor);

}  // namespace vxk5
