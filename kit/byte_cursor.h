#pragma once
// A bounded cursor over bytes of the container: every read checks that its
// field lies inside the bytes it was given and, when it does not, fails and
// leaves the cursor where it was. The cursor does not own the bytes.

#include <cstddef>
#include <cstdint>

#include "base/wstring.h"

namespace vxk5 {

class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Remaining() const { return size_ - position_; }
    size_t Position() const { return position_; }

    // An unsigned 32-bit little-endian value; false when fewer than 4 bytes remain.
    [[nodiscard]] bool ReadU32(uint32_t& value);
    // A 32-bit unit count followed by that many UTF-16LE units; false when the
    // count or the units run past the end.
    [[nodiscard]] bool ReadCountedString(WString& text);

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Decodes `count` UTF-16LE units from `bytes` (2 * count bytes).
WString DecodeUtf16Le(const uint8_t* bytes, size_t count);

}  // namespace vxk5
