#include "kit/kit_trailer.h"

#include <algorithm>
#include <cstring>

namespace vxk5 {

namespace kitformat {

namespace {

constexpr size_t kVersionAt = 8;
constexpr size_t kLengthAt = 9;
constexpr size_t kReservedAt = 10;
constexpr size_t kStreamLengthAt = 16;
constexpr size_t kDigestAt = 24;

void PutU64(uint8_t* at, uint64_t value) {
    for (size_t i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetU64(const uint8_t* at) {
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

}  // namespace

KitTrailer EncodeKitTrailer(uint64_t streamLength, uint64_t digest) {
    KitTrailer trailer{};  // the reserved bytes 0
    std::copy(kTrailerMagic.begin(), kTrailerMagic.end(), trailer.begin());
    trailer[kVersionAt] = kTrailerVersionXxh3;
    trailer[kLengthAt] = static_cast<uint8_t>(kTrailerSize);
    PutU64(trailer.data() + kStreamLengthAt, streamLength);
    PutU64(trailer.data() + kDigestAt, digest);
    return trailer;
}

}  // namespace kitformat

using namespace kitformat;

bool StartsAsTrailer(const uint8_t* bytes, size_t size) {
    return size != 0 && std::memcmp(bytes, kTrailerMagic.data(), std::min(size, kTrailerMagicSize)) == 0;
}

KitCheckResult JudgeTrailer(const uint8_t* bytes, size_t size, uint64_t after, uint64_t streamLength,
                            uint64_t digest) {
    KitCheckResult result;
    result.streamBytes = streamLength;
    if (size < kTrailerSize) {
        // A trailer of a later version may be longer, never shorter.
        result.state = KitCheck::CutShort;
        return result;
    }
    const uint8_t length = bytes[kLengthAt];
    if (bytes[kVersionAt] != kTrailerVersionXxh3) {
        // A later tool's check, which this reader cannot make: the kit reads
        // as one without a check.
        result.state = KitCheck::Unknown;
        result.version = bytes[kVersionAt];
        result.ignoredBytes = after - std::min<uint64_t>(after, length);
        return result;
    }
    result.ignoredBytes = after - kTrailerSize;
    const bool reservedZero = std::all_of(bytes + kReservedAt, bytes + kStreamLengthAt, [](uint8_t b) { return b == 0; });
    if (length != kTrailerSize || !reservedZero) {
        result.state = KitCheck::Malformed;
    } else if (GetU64(bytes + kStreamLengthAt) != streamLength || GetU64(bytes + kDigestAt) != digest) {
        result.state = KitCheck::Mismatch;
    } else {
        result.state = KitCheck::Matched;
    }
    return result;
}

bool IsKitDamage(KitCheck check) {
    switch (check) {
        case KitCheck::Pending:
        case KitCheck::Absent:
        case KitCheck::Unknown:
        case KitCheck::Matched: return false;
        case KitCheck::Mismatch:
        case KitCheck::CutShort:
        case KitCheck::Malformed:
        case KitCheck::Misplaced: return true;
    }
    return true;
}

const char* KitCheckText(KitCheck check) {
    switch (check) {
        case KitCheck::Pending: return "not read to its end";
        case KitCheck::Absent: return "no check";
        case KitCheck::Unknown: return "a check of an unknown version";
        case KitCheck::Matched: return "checked";
        case KitCheck::Mismatch: return "the deflate stream does not match its check";
        case KitCheck::CutShort: return "the check after the deflate stream is cut short";
        case KitCheck::Malformed: return "the check after the deflate stream is malformed";
        case KitCheck::Misplaced: return "the check does not follow the deflate stream";
    }
    return "the deflate stream does not match its check";
}

}  // namespace vxk5
