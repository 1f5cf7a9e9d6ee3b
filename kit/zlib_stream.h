#pragma once
// Owner of zlib's raw deflate stream, with which the kit writer compresses
// (private to kit/: nothing outside this directory sees zlib). It ends its
// stream when it goes. Kits are inflated with ISA-L (kit/raw_inflater.h).

#include <zlib.h>

#include "kit/kit_format.h"

namespace vxk5 {

namespace kitformat {

// zlib's memory level: 9 spends the most memory on the compressor's state
// (256 KiB) for the best compression and speed; only the writer pays it.
inline constexpr int kDeflateMemoryLevel = 9;

class DeflateStream {
public:
    DeflateStream() = default;
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    ~DeflateStream() {
        if (ready_) deflateEnd(&stream_);
    }

    // Raw deflate at `level` with a 32 KiB history; Z_OK on success.
    [[nodiscard]] int Init(int level) {
        stream_ = z_stream{};
        const int result = deflateInit2(&stream_, level, Z_DEFLATED, kWindowBits, kDeflateMemoryLevel, Z_DEFAULT_STRATEGY);
        ready_ = result == Z_OK;
        return result;
    }
    z_stream& Get() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

}  // namespace kitformat

}  // namespace vxk5
