#include "kit/byte_cursor.h"

namespace vxk5 {

bool ByteCursor::ReadU32(uint32_t& value) {
    if (Remaining() < 4) return false;
    const uint8_t* p = data_ + position_;
    value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
            static_cast<uint32_t>(p[3]) << 24;
    position_ += 4;
    return true;
}

bool ByteCursor::ReadCountedString(WString& text) {
    const size_t start = position_;
    uint32_t count = 0;
    if (!ReadU32(count)) return false;
    // Compare in units so that a hostile count cannot overflow the byte length.
    if (count > Remaining() / 2) {
        position_ = start;
        return false;
    }
    text = DecodeUtf16Le(data_ + position_, count);
    position_ += static_cast<size_t>(count) * 2;
    return true;
}

WString DecodeUtf16Le(const uint8_t* bytes, size_t count) {
    WString text;
    if (count == 0) return text;
    text.resize(count);
    char16_t* units = text.MutableData();
    for (size_t i = 0; i < count; ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return text;
}

}  // namespace vxk5
