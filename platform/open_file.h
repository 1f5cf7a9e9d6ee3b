#pragma once
// What a tool does with a file it already holds open, by descriptor: a second
// descriptor, its mode, its size, and a flush to the disk. Each returns 0 or
// the errno value that stopped it.

#include <cstdint>

#include "platform/owned_descriptor.h"

namespace vxk5 {

// dup(2): `copy` owns a second descriptor of the same open file.
[[nodiscard]] int DuplicateDescriptor(int descriptor, OwnedDescriptor& copy);

// fchmod(2).
[[nodiscard]] int SetOpenFileMode(int descriptor, unsigned mode);

// The mode a file made by this process would get by default: 0666 less the
// umask (which can only be read by setting it, so call it before threads).
unsigned DefaultNewFileMode();

// fstat(2): the file's size in bytes.
[[nodiscard]] int OpenFileSize(int descriptor, uint64_t& size);

// fsync(2): the file's bytes and its size survive a power cut.
[[nodiscard]] int SyncOpenFile(int descriptor);

}  // namespace vxk5
