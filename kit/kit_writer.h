#pragma once
// Writing kit files: the container's bytes, given in pieces, are raw-deflated
// into the kit file as one stream, compressed on every core
// (parallel_deflate.h), and the stream's check follows it (kit_trailer.h).
// The container itself is built with container_encoder.h; the data area is
// whatever is written after its head.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/wstring.h"
#include "kit/kit_format.h"
#include "platform/file_handle.h"

namespace vxk5 {

class KitFileWriter {
public:
    KitFileWriter();
    ~KitFileWriter();  // an unfinished kit file is closed as it is
    KitFileWriter(const KitFileWriter&) = delete;
    KitFileWriter& operator=(const KitFileWriter&) = delete;

    // Creates `path`, or replaces its content. ERR_SUCCESS, or the open's code
    // (ERR_NOT_FOUND, ERR_INVALID_PARAMETER).
    // `threads` 0 compresses on every core; the kit's bytes do not depend on it.
    [[nodiscard]] uint32_t Open(const WString& path, int level = kitformat::kWriteLevel, unsigned threads = 0);
    // Writes into `handle`, an open, empty file that the writer then owns and
    // closes. ERR_SUCCESS, or ERR_INVALID_PARAMETER when the compressor cannot start.
    [[nodiscard]] uint32_t Adopt(FileHandle handle, int level = kitformat::kWriteLevel, unsigned threads = 0);
    // Compresses the next container bytes. ERR_SUCCESS, or
    // ERR_INVALID_PARAMETER when the kit file cannot be written.
    [[nodiscard]] uint32_t Write(const void* bytes, size_t size);
    // Ends the stream, writes its check after it and closes the kit file.
    // ERR_SUCCESS, or ERR_INVALID_PARAMETER.
    [[nodiscard]] uint32_t Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Writes `container` as a kit file at `path`. 0, or a code of KitFileWriter.
[[nodiscard]] uint32_t WriteKitFile(const WString& path, const std::string& container,
                                    int level = kitformat::kWriteLevel);

// The raw deflate stream of `container`, in memory, without a check after it
// (a kit as the kit tool made them before it wrote one).
std::string DeflateContainer(const std::string& container, int level = kitformat::kWriteLevel);

}  // namespace vxk5
