#pragma once
// The digest of a kit's deflate stream, as its trailer holds it (kit_trailer.h):
// XXH3-64 with start value 0, taken piece by piece. Hashing each 1 MiB piece of a
// kit of text after inflating it added, in processor time, 2-3 % to the
// inflating alone with XXH3, 2-5 % with CRC32C (the processor's instruction,
// one stream) and 26-31 % with BLAKE2b; XXH3 needs no code of ours for
// processors without that instruction and gives 64 bits. bench-unpack's
// checked_unpack_vs_unpack tells what it costs the unpacking as a whole.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vxk5 {

class StreamDigest {
public:
    StreamDigest();
    ~StreamDigest();
    StreamDigest(const StreamDigest&) = delete;
    StreamDigest& operator=(const StreamDigest&) = delete;

    void Update(const uint8_t* bytes, size_t size);
    // The digest of everything given so far; more may follow.
    uint64_t Value() const;

private:
    struct State;  // the hash's state, 64-byte aligned, so on the heap
    std::unique_ptr<State> state_;
};

// The digest of `size` bytes at `bytes`, in one go.
uint64_t DigestOf(const uint8_t* bytes, size_t size);

}  // namespace vxk5
