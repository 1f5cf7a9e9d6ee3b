#include "base/wstring.h"

#include <strings.h>

#include <cctype>

#include <vector>

#include "base/conversion.h"

namespace vxk5 {

size_t ReplaceAll(WString& text, const WString& find, const WString& replacement) {
    const size_t findLength = find.length();
    if (findLength == 0 || text.empty()) return 0;
    const size_t replacementLength = replacement.length();

    if (findLength == replacementLength) {
        size_t count = 0;
        for (size_t p = text.find(find); p != WString::npos; p = text.find(find, p + findLength)) {
            text.replace(p, findLength, replacement.c_str(), replacement.c_str() + replacementLength);
            ++count;
        }
        return count;
    }

    std::vector<size_t> matches;
    for (size_t p = text.find(find); p != WString::npos; p = text.find(find, p + findLength)) matches.push_back(p);
    if (matches.empty()) return 0;

    const size_t length = text.length();
    const size_t shrink = matches.size() * findLength;
    const size_t growth = matches.size() * replacementLength;
    if (growth >= WString::kMaxLength || length - shrink >= WString::kMaxLength - growth) {
        throw std::length_error("basic_string");
    }
    const size_t newLength = length - shrink + growth;

    WString result;
    if (newLength > WString::kInlineMax) {
        result.resize(newLength);
        result.resize(0);
    }
    size_t previousEnd = 0;
    for (size_t p : matches) {
        result.append(text.c_str() + previousEnd, p - previousEnd);
        result.append(replacement);
        previousEnd = p + findLength;
    }
    result.append(text.c_str() + previousEnd, length - previousEnd);
    text.swap(result);
    return matches.size();
}

WString IntToWString(int32_t value, int radix) {
    if (radix < 2 || radix > 36) radix = 10;
    const bool negative = radix == 10 && value < 0;
    uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char16_t digits[40];
    size_t n = 0;
    do {
        const uint32_t d = magnitude % static_cast<uint32_t>(radix);
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + d - 10);
        magnitude /= static_cast<uint32_t>(radix);
    } while (magnitude != 0);
    if (negative) digits[n++] = u'-';
    WString result;
    for (size_t i = n; i > 0; --i) result.push_back(digits[i - 1]);
    return result;
}

int CompareNoCase(const WString& a, const WString& b) {
    return strcasecmp(ToMultiByte(a).c_str(), ToMultiByte(b).c_str());
}

uint64_t NoCaseHash(const WString& text) {
    const AString bytes = ToMultiByte(text);
    // FNV-1a over the bytes strcasecmp compares, folded by the same tolower.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char* p = bytes.c_str(); *p != 0; ++p) {
        hash ^= static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(*p)));
        hash *= 0x100000001b3ull;
    }
    // Mix the low bits, which pick the slot of an index.
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 32;
    return hash;
}

}  // namespace vxk5
