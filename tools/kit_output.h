#pragma once
// Where create's kit goes: a file, made whole under a temporary name beside
// its target and renamed over it, or standard output, made whole in an
// unnamed temporary file first. Either way nothing reaches the target before
// the whole kit has been written, and the kit must stay below 4 GiB, the
// most an installer reads.

#include <functional>
#include <string>

#include "platform/file_handle.h"

namespace vxk5 {

// Writes the whole kit into `handle`, which it takes over and closes;
// `shown` names the target in messages. False with `error` set.
using KitWriting = std::function<bool(FileHandle handle, const std::string& shown, std::string& error)>;

// The kit file `output`, with mode 0666 less the umask, flushed to disk
// before it is renamed into place. False with `error` set; an earlier file
// at `output` is then as it was.
[[nodiscard]] bool DeliverKitFile(const std::string& output, const KitWriting& write, std::string& error);

// The kit on standard output. False with `error` set.
[[nodiscard]] bool DeliverKitToStandardOutput(const KitWriting& write, std::string& error);

}  // namespace vxk5
