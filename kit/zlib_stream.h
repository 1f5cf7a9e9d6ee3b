#pragma once
// Owners of zlib's raw deflate and inflate streams (private to kit/: nothing
// outside this directory sees zlib). Each ends its stream when it goes.

#include <zlib.h>

#include "kit/kit_format.h"

namespace kitformat {

// The zlib interface version the kit reader asks for. zlib compares only its
// major number with its own, so any 1.x library accepts it.
constexpr char kZlibVersion[] = "1.2.11";

class InflateStream {
public:
    InflateStream() = default;
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    ~InflateStream() {
        if (ready_) inflateEnd(&stream_);
    }

    // Raw inflate with a 32 KiB history; Z_OK on success.
    int Init() {
        stream_ = z_stream{};
        const int result = inflateInit2_(&stream_, kWindowBits, kZlibVersion, static_cast<int>(sizeof(z_stream)));
        ready_ = result == Z_OK;
        return result;
    }
    z_stream& Get() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

class DeflateStream {
public:
    DeflateStream() = default;
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    ~DeflateStream() {
        if (ready_) deflateEnd(&stream_);
    }

    // Raw deflate at `level` with a 32 KiB history; Z_OK on success.
    int Init(int level) {
        stream_ = z_stream{};
        const int result = deflateInit2(&stream_, level, Z_DEFLATED, kWindowBits, 9, Z_DEFAULT_STRATEGY);
        ready_ = result == Z_OK;
        return result;
    }
    z_stream& Get() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

}  // namespace kitformat
