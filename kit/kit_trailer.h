#pragma once
// The check a kit carries after its deflate stream. Inflaters stop at the
// stream's final block and ignore what follows, so every reader of kits
// still reads a kit with a trailer; readers that know it check the stream
// against it. The trailer, 32 bytes right after the byte that holds the
// final block's last bit:
//   0   8  magic 88 56 58 4B 35 43 48 4B ("\x88VXK5CHK")
//   8   1  version: 1, the XXH3-64 digest of the stream (start value 0)
//   9   1  the trailer's length: 32
//   10  6  zero
//   16  8  the stream's length in bytes, u64 little-endian
//   24  8  the digest, u64 little-endian
// The digest covers the deflate stream from the kit's first byte to the one
// holding its last bit, nothing else.
//
// The magic cannot be mistaken for the stream: a trailer is looked for only
// where the inflater found the stream's end. Should a damaged stream lose its
// final flag, the inflater goes on into the magic, whose first byte starts a
// stored block (its three low bits are 0) and whose next bytes are no stored
// block's length followed by its complement, wherever the block's header
// began: the stream is then reported damaged, rather than longer.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vxk5 {

namespace kitformat {

constexpr size_t kTrailerSize = 32;
constexpr size_t kTrailerMagicSize = 8;
constexpr std::array<uint8_t, kTrailerMagicSize> kTrailerMagic = {0x88, 'V', 'X', 'K', '5', 'C', 'H', 'K'};
constexpr uint8_t kTrailerVersionXxh3 = 1;

using KitTrailer = std::array<uint8_t, kTrailerSize>;

// The trailer of a stream of `streamLength` bytes whose digest is `digest`.
KitTrailer EncodeKitTrailer(uint64_t streamLength, uint64_t digest);

}  // namespace kitformat

// What the bytes after a kit's deflate stream say of it.
enum class KitCheck {
    Pending,     // the stream has not been read to its end
    Absent,      // no trailer follows the stream: the kit carries no check
    Unknown,     // a trailer of a version this reader does not know: not checked
    Matched,     // the trailer's digest is the stream's
    // The kit is damaged:
    Mismatch,    // the digest (or the stream's length) differs from the trailer's
    CutShort,    // the file ends inside the trailer
    Malformed,   // a trailer whose fixed fields are wrong
    Misplaced,   // the file ends with a trailer, but it does not follow the stream
};

struct KitCheckResult {
    KitCheck state = KitCheck::Pending;
    uint64_t streamBytes = 0;   // the deflate stream's length, once it has ended
    uint64_t ignoredBytes = 0;  // bytes after the stream (after the trailer, if any) that nothing reads
    uint8_t version = 0;        // of a trailer of an Unknown version
};

// Whether the bytes after a stream begin as a trailer does: the magic, or as
// much of it as there are bytes.
bool StartsAsTrailer(const uint8_t* bytes, size_t size);

// Judges the first `size` bytes after a stream of `streamLength` bytes whose
// digest is `digest`; they start as a trailer. `after`: how many bytes the
// file holds after the stream, at least `size` (the rest is not needed).
KitCheckResult JudgeTrailer(const uint8_t* bytes, size_t size, uint64_t after, uint64_t streamLength, uint64_t digest);

// Whether `check` makes the kit damaged.
bool IsKitDamage(KitCheck check);

// An English description, for the tools and the result document.
const char* KitCheckText(KitCheck check);

}  // namespace vxk5
