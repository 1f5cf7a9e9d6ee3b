#pragma once
// The launcher configuration file: key=value lines separated by line feeds, in
// the locale's multibyte encoding. The key is everything before the first "=",
// the value everything after it; nothing is trimmed, a carriage return before
// the line feed belongs to the key or value, and a line without key and value
// is skipped. In memory the file is a MultiValueMap (keys and values compared
// without regard to case, first spelling kept, duplicate values dropped).

#include <cstdint>
#include <exception>

#include "base/multi_value_map.h"
#include "base/wstring.h"

namespace vxk5 {

// Codes carried by ConfigWriteError.
constexpr uint32_t CONFIG_WRITE_NOT_CREATED = 1;  // the file cannot be created
constexpr uint32_t CONFIG_WRITE_FAILED = 2;       // writing the content failed

struct ConfigWriteError : std::exception {
    explicit ConfigWriteError(uint32_t errorCode) : code(errorCode) {}
    const char* what() const noexcept override;
    uint32_t code;
};

// How much of a configuration file ReadLauncherConfig could take in.
enum class ConfigRead {
    Whole,     // read to its end, or there is no file: rewriting loses nothing
    NotAFile,  // a directory, FIFO, device... stands there: nothing was read
    Partial,   // a regular file that could not be read whole: rewriting it
               // from what was read would lose the rest
};

// Adds the file's entries to `config` (which may already hold entries) with
// AddValue. Undecodable bytes are kept as U+DC80..U+DCFF, so writing them back
// restores the same bytes. Partial: the file cannot be opened or read, holds a
// zero byte (what precedes it is still added) or starts with a UTF-16 byte
// order mark (nothing is added). A FIFO is never opened for reading.
ConfigRead ReadLauncherConfig(const WString& path, MultiValueMap& config);

// Replaces the file at `path` (the target of a symbolic link) with one
// "key=value" line per value, entries and values in order. The old file stays
// untouched unless the whole new content reached the disk. Throws
// ConfigWriteError with CONFIG_WRITE_NOT_CREATED or CONFIG_WRITE_FAILED.
void WriteLauncherConfig(const WString& path, const MultiValueMap& config);

}  // namespace vxk5
