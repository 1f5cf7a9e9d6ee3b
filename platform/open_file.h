#pragma once
// What a tool does with a file it already holds open, by descriptor: a second
// descriptor, its mode, times and size, reads and writes at a place, and a
// flush to the disk. Each returns 0 or the errno value that stopped it, unless
// it says otherwise.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/owned_descriptor.h"

namespace vxk5 {

// dup(2): `copy` owns a second descriptor of the same open file.
[[nodiscard]] int DuplicateDescriptor(int descriptor, OwnedDescriptor& copy);

// fcntl(F_DUPFD_CLOEXEC): `copy` owns a second descriptor of the same open
// file, which a program this process starts does not inherit.
[[nodiscard]] int DuplicatePrivateDescriptor(int descriptor, OwnedDescriptor& copy);

// fchmod(2).
[[nodiscard]] int SetOpenFileMode(int descriptor, unsigned mode);

// The mode a file made by this process would get by default: 0666 less the
// umask (which can only be read by setting it, so call it before threads).
unsigned DefaultNewFileMode();

// fstat(2): the file's size in bytes.
[[nodiscard]] int OpenFileSize(int descriptor, uint64_t& size);

// fsync(2): the file's bytes and its size survive a power cut.
[[nodiscard]] int SyncOpenFile(int descriptor);

// fdatasync(2): the file's bytes and its size survive a power cut (times and
// other metadata need not).
[[nodiscard]] int SyncOpenFileData(int descriptor);

// futimens(2): access and modification time both become `seconds` (POSIX
// time) and `nanoseconds` (0..999999999).
[[nodiscard]] int SetOpenFileTimes(int descriptor, int64_t seconds, int64_t nanoseconds);

// One write(2) of all of `bytes` at the file's position: 0, the errno value,
// or EIO when fewer bytes were written.
[[nodiscard]] int WriteOpenFile(int descriptor, const std::string& bytes);

// Gives back what holds bytes [offset, offset + length) of an open file (a
// hole is punched, the size stays): they read as zeros from then on, and a
// file in memory (tmpfs) holds that much less. 0 or the errno value
// (EOPNOTSUPP where the file system cannot).
[[nodiscard]] int ReleaseOpenFileRange(int descriptor, int64_t offset, int64_t length);

// pread(2) of up to `size` bytes at `offset`, the file's position neither
// used nor moved: the count read, 0 at the end of the file, or -1 with errno
// set (EINTR included: the caller decides whether to ask again).
int64_t ReadOpenFileAt(int descriptor, void* buffer, size_t size, int64_t offset);

}  // namespace vxk5
