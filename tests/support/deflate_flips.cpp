#include "tests/support/deflate_flips.h"

#include <zlib.h>

namespace {

// Inflates `size` bytes at `bytes` with `stream`, appending the output to
// `out`: zlib's result, Z_BUF_ERROR when the input ran out first.
int InflateInto(z_stream& stream, const char* bytes, size_t size, std::string& out) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
    stream.avail_in = static_cast<uInt>(size);
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) return Z_BUF_ERROR;
    }
    return result;
}

// zlib's raw inflater, ended when it goes.
struct RawStream {
    z_stream z{};
    bool ready = false;
    RawStream() { ready = inflateInit2(&z, -15) == Z_OK; }
    explicit RawStream(RawStream& from) { ready = from.ready && inflateCopy(&z, &from.z) == Z_OK; }
    ~RawStream() {
        if (ready) inflateEnd(&z);
    }
    RawStream(const RawStream&) = delete;
    RawStream& operator=(const RawStream&) = delete;
};

}  // namespace

bool ZlibRawInflate(const std::string& bytes, std::string& out, size_t* unused) {
    out.clear();
    RawStream stream;
    if (!stream.ready) return false;
    const int result = InflateInto(stream.z, bytes.data(), bytes.size(), out);
    if (unused != nullptr) *unused = stream.z.avail_in;
    return result == Z_STREAM_END;
}

std::string FlipBit(std::string bytes, size_t bit) {
    bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
    return bytes;
}

// The stream before byte from / 8 is inflated once; each flip after it is
// tried from a copy of that inflater, so a search near the end of a large
// kit costs little.
std::vector<size_t> SameLengthFlips(const std::string& kit, size_t streamLength, size_t from, size_t most) {
    std::vector<size_t> flips;
    const std::string stream = kit.substr(0, streamLength);
    std::string original;
    if (!ZlibRawInflate(stream, original)) return flips;
    const size_t start = from / 8;
    RawStream prefix;
    std::string before;
    if (!prefix.ready || InflateInto(prefix.z, stream.data(), start, before) == Z_STREAM_END) return flips;
    const std::string expected = original.substr(before.size());
    std::string rest = stream.substr(start);
    for (size_t bit = from; bit < 8 * streamLength && flips.size() < most; ++bit) {
        const size_t at = bit - 8 * start;
        rest = FlipBit(rest, at);
        RawStream trial(prefix);
        std::string inflated;
        if (trial.ready && InflateInto(trial.z, rest.data(), rest.size(), inflated) == Z_STREAM_END &&
            inflated.size() == expected.size() && inflated != expected) {
            flips.push_back(bit);
        }
        rest = FlipBit(rest, at);  // back as it was
    }
    return flips;
}
