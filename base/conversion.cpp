#include "base/conversion.h"

#include <langinfo.h>
#include <clocale>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

namespace vxk5 {

namespace {

// Written once by InitProcessLocale before threads exist, read afterwards.
bool g_utf8 = true;

constexpr char16_t kEscapeBase = 0xDC00;  // undecodable byte b becomes U+DC00 + b

// Calls sink(unit) for each UTF-16 unit the bytes decode to; stops at a 0 byte.
template <typename Sink>
void DecodeUtf8(const unsigned char* s, size_t n, Sink&& sink) {
    size_t i = 0;
    while (i < n && s[i] != 0) {
        const unsigned char b = s[i];
        uint32_t cp = 0;
        size_t extra = 0;
        uint32_t minimum = 0;
        if (b < 0x80) {
            sink(static_cast<char16_t>(b));
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1F, extra = 1, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0F, extra = 2, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07, extra = 3, minimum = 0x10000;
        } else {
            sink(static_cast<char16_t>(kEscapeBase + b));
            ++i;
            continue;
        }
        bool valid = i + extra < n;
        for (size_t k = 1; valid && k <= extra; ++k) {
            const unsigned char c = s[i + k];
            if ((c & 0xC0) != 0x80) valid = false;
            else cp = (cp << 6) | (c & 0x3F);
        }
        if (valid && (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (!valid) {
            sink(static_cast<char16_t>(kEscapeBase + b));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            sink(static_cast<char16_t>(0xD800 + (cp >> 10)));
            sink(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            sink(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
}

template <typename Sink>
void DecodeNative(const char* s, size_t n, Sink&& sink) {
    std::mbstate_t state{};
    size_t i = 0;
    while (i < n && s[i] != 0) {
        wchar_t wc = 0;
        const size_t r = std::mbrtowc(&wc, s + i, n - i, &state);
        if (r == 0) break;
        if (r == static_cast<size_t>(-1) || r == static_cast<size_t>(-2)) {
            sink(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(s[i])));
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        const uint32_t cp = static_cast<uint32_t>(wc);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            sink(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            sink(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            sink(static_cast<char16_t>(cp));
        }
        i += r;
    }
}

// Calls sink(bytes, count) for each character; stops at a 0 unit or at a unit
// that cannot be encoded. Returns the number of units converted, so the caller
// can tell a whole conversion from one that stopped early.
template <typename Sink>
size_t EncodeUnits(const char16_t* s, size_t n, Sink&& sink) {
    std::mbstate_t state{};
    size_t i = 0;
    while (i < n && s[i] != 0) {
        const char16_t u = s[i];
        char bytes[MB_LEN_MAX > 4 ? MB_LEN_MAX : 4];
        size_t count = 0;
        uint32_t cp = u;
        size_t used = 1;
        if (IsEscapedByte(u)) {
            bytes[0] = static_cast<char>(u - kEscapeBase);
            sink(bytes, 1);
            ++i;
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= n || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return i;
            cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            used = 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return i;
        }
        if (g_utf8) {
            if (cp < 0x80) {
                bytes[count++] = static_cast<char>(cp);
            } else if (cp < 0x800) {
                bytes[count++] = static_cast<char>(0xC0 | (cp >> 6));
                bytes[count++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                bytes[count++] = static_cast<char>(0xE0 | (cp >> 12));
                bytes[count++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                bytes[count++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                bytes[count++] = static_cast<char>(0xF0 | (cp >> 18));
                bytes[count++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                bytes[count++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                bytes[count++] = static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else {
            count = std::wcrtomb(bytes, static_cast<wchar_t>(cp), &state);
            if (count == static_cast<size_t>(-1)) return i;
        }
        sink(bytes, count);
        i += used;
    }
    return i;
}

template <typename Sink>
void Decode(const char* s, size_t n, Sink&& sink) {
    if (g_utf8) DecodeUtf8(reinterpret_cast<const unsigned char*>(s), n, sink);
    else DecodeNative(s, n, sink);
}

// Scratch space: on the stack for short texts, on the heap for long ones.
template <typename T, size_t N>
class Scratch {
public:
    explicit Scratch(size_t size) : data_(size <= N ? local_ : (heap_ = std::make_unique<T[]>(size)).get()) {}
    T* get() { return data_; }

private:
    T local_[N];
    std::unique_ptr<T[]> heap_;
    T* data_;
};

}  // namespace

const char* InitProcessLocale() {
    const char* name = std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    const bool ascii = std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0;
    g_utf8 = ascii || std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
    return name;
}

bool ConversionIsUtf8() { return g_utf8; }

std::string Utf8Of(const WString& text) {
    std::string bytes;
    bytes.reserve(text.length());
    const size_t length = text.length();
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

WString FromUtf8(const char* bytes, size_t length) {
    Scratch<char16_t, 256> buffer(length + 1);
    char16_t* out = buffer.get();
    size_t used = 0;
    DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), length, [&](char16_t unit) { out[used++] = unit; });
    return WString(out, used);
}

bool ToMultiByteWhole(const WString& text, AString& bytes) {
    const size_t n = text.length();
    const size_t limit = n * (MB_LEN_MAX > 4 ? MB_LEN_MAX : 4);
    Scratch<char, 512> buffer(limit + 1);
    char* out = buffer.get();
    size_t used = 0;
    const size_t converted = EncodeUnits(text.c_str(), n, [&](const char* part, size_t count) {
        std::memcpy(out + used, part, count);
        used += count;
    });
    bytes = AString(out, used);
    return converted == n;
}

AString ToMultiByte(const WString& text) {
    AString bytes;
    (void)ToMultiByteWhole(text, bytes);  // display texts: the convertible prefix
    return bytes;
}

WString FromMultiByte(const AString& bytes) {
    const size_t n = bytes.length();
    Scratch<char16_t, 256> buffer(n + 1);
    char16_t* out = buffer.get();
    size_t used = 0;
    Decode(bytes.c_str(), n, [&](char16_t unit) { out[used++] = unit; });
    return WString(out, used);
}

WString FromMultiByte(const std::string& bytes) { return FromMultiByte(AString(bytes.c_str(), bytes.size())); }

std::string ToMultiByteString(const WString& text) {
    const AString bytes = ToMultiByte(text);
    return std::string(bytes.c_str(), bytes.length());
}

uint32_t WideToMultiByte(uint32_t, uint32_t, const char16_t* source, size_t sourceLength, char* target,
                         size_t targetSize, bool* whole) {
    if (target != nullptr && targetSize > 0) std::memset(target, 0, targetSize);
    size_t needed = 0;
    const size_t converted = EncodeUnits(source, sourceLength, [&](const char* bytes, size_t count) {
        if (target != nullptr && needed + count <= targetSize) std::memcpy(target + needed, bytes, count);
        needed += count;
    });
    if (whole != nullptr) *whole = converted == sourceLength || source[converted] == 0;
    return static_cast<uint32_t>(needed);
}

uint32_t MultiByteToWide(uint32_t, uint32_t, const char* source, size_t sourceLength, char16_t* target,
                         size_t targetSize) {
    size_t needed = 0;
    Decode(source, sourceLength, [&](char16_t unit) {
        if (target != nullptr && needed < targetSize) target[needed] = unit;
        ++needed;
    });
    return static_cast<uint32_t>(needed);
}

}  // namespace vxk5
