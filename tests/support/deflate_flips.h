#pragma once
// Single-bit damage of a raw deflate stream that inflating does not notice:
// flipped, the stream still inflates cleanly to as many bytes as before, but
// to other bytes. Found by trying every bit with zlib's raw inflate, the
// inflater every reader of kits has.

#include <cstddef>
#include <string>
#include <vector>

// Inflates the raw deflate stream at the start of `bytes` with zlib. True when
// the stream ends (its final block is complete); `out` gets the inflated
// bytes, `unused` how many of `bytes` follow the stream.
bool ZlibRawInflate(const std::string& bytes, std::string& out, size_t* unused = nullptr);

// `bytes` with bit `bit` (byte bit / 8, bit bit % 8) inverted.
std::string FlipBit(std::string bytes, size_t bit);

// The bits among the first `streamLength` bytes of `kit` (its deflate
// stream), from bit `from` on, whose flip leaves a stream that inflates to
// the end, to the same number of bytes, other than before. At most `most`.
std::vector<size_t> SameLengthFlips(const std::string& kit, size_t streamLength, size_t from = 0,
                                    size_t most = static_cast<size_t>(-1));
