#include "config/config_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/conversion.h"
#include "platform/replacement_file.h"
#include "platform/file_system.h"

namespace vxk5 {

namespace {

constexpr size_t kChunkBytes = 1024;
// Leading bytes of a character cut off at the end of a chunk; they are read
// again in front of the next chunk.
constexpr size_t kMaxCarriedBytes = 3;
constexpr size_t kDecodedUnits = 2048;
constexpr size_t kAccumulatorUnits = 2048;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Bytes at the end of a chunk that did not decode: each undecodable byte became
// one escape unit, so the trailing escape units stand for as many trailing
// bytes. A low surrogate that completes a pair is a character, not an escape.
size_t CountTrailingEscapes(const char16_t* units, size_t count) {
    size_t escapes = 0;
    while (escapes < kMaxCarriedBytes && escapes < count) {
        const size_t i = count - 1 - escapes;
        if (!IsEscapedByte(units[i])) break;
        if (i > 0 && IsHighSurrogate(units[i - 1])) break;
        ++escapes;
    }
    return escapes;
}

// Splits decoded text into lines and lines into key and value. Units gather in
// a fixed accumulator that is moved into the key or value when it fills up, so
// lines have no length limit.
class LineParser {
public:
    explicit LineParser(MultiValueMap& config) : config_(config) {}

    void Feed(const char16_t* units, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const char16_t unit = units[i];
            if (unit == u'\n') {
                EndLine();
            } else if (unit == u'=' && !inValue_) {
                Flush();
                inValue_ = true;
            } else {
                if (used_ == kAccumulatorUnits) Flush();
                accumulator_[used_++] = unit;
            }
        }
    }

    void Finish() { EndLine(); }

private:
    void Flush() {
        (inValue_ ? value_ : key_).append(accumulator_, used_);
        used_ = 0;
    }

    void EndLine() {
        Flush();
        if (!key_.empty() || !value_.empty()) AddValue(config_, key_, value_);
        key_ = WString();
        value_ = WString();
        inValue_ = false;
    }

    MultiValueMap& config_;
    WString key_;
    WString value_;
    bool inValue_ = false;
    size_t used_ = 0;
    char16_t accumulator_[kAccumulatorUnits];
};

}  // namespace

const char* ConfigWriteError::what() const noexcept {
    return code == CONFIG_WRITE_NOT_CREATED ? "launcher configuration cannot be created"
                                            : "launcher configuration cannot be written";
}

ConfigRead ReadLauncherConfig(const WString& path, MultiValueMap& config) {
    StdioFile file;
    if (const uint32_t code = OpenRegularFile(path, file); code != ERR_SUCCESS) {
        if (code == ERR_NOT_FOUND) return ConfigRead::Whole;
        return IsRegularFile(path) ? ConfigRead::Partial : ConfigRead::NotAFile;
    }

    LineParser parser(config);
    char bytes[kMaxCarriedBytes + kChunkBytes];
    char16_t units[kDecodedUnits];
    size_t carried = 0;
    bool whole = true;
    bool first = true;
    for (;;) {
        const size_t got = std::fread(bytes + carried, 1, kChunkBytes, file.get());
        size_t available = carried + got;
        bool last = got == 0;  // end of file or a read error
        if (last && std::ferror(file.get())) whole = false;
        if (first && available >= 2) {
            // A byte order mark of UTF-16 (or UTF-32): text in units this
            // reader cannot decode, not a configuration of key=value bytes.
            const auto b0 = static_cast<unsigned char>(bytes[0]);
            const auto b1 = static_cast<unsigned char>(bytes[1]);
            if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return ConfigRead::Partial;
        }
        first = false;
        if (const void* zero = std::memchr(bytes, 0, available); zero != nullptr) {
            // A zero byte ends what can be read; the rest is not text.
            available = static_cast<size_t>(static_cast<const char*>(zero) - bytes);
            last = true;
            whole = false;
        }
        if (available == 0) break;
        const uint32_t needed = MultiByteToWide(0, 1, bytes, available, units, kDecodedUnits);
        const size_t count = std::min<size_t>(needed, kDecodedUnits);
        const size_t held = last ? 0 : CountTrailingEscapes(units, count);
        parser.Feed(units, count - held);
        std::memmove(bytes, bytes + available - held, held);
        carried = held;
        if (last) break;
    }
    parser.Finish();
    return whole ? ConfigRead::Whole : ConfigRead::Partial;
}

void WriteLauncherConfig(const WString& path, const MultiValueMap& config) {
    ReplacementFile file;
    AString target;
    if (!ToMultiByteWhole(path, target) || !file.Create(target)) throw ConfigWriteError(CONFIG_WRITE_NOT_CREATED);
    bool atStart = true;
    for (const MultiValueEntry& entry : config.entries) {
        // A key or value that does not convert whole would be written cut
        // short: nothing is written then, and the old file stays.
        AString key;
        if (!ToMultiByteWhole(entry.key, key)) throw ConfigWriteError(CONFIG_WRITE_FAILED);
        // A first key whose bytes begin like a UTF-16 byte order mark would
        // make the whole file unreadable as key=value text: a blank line
        // (which reading skips) goes before it.
        if (atStart && !entry.values.empty() && key.length() >= 2) {
            const auto b0 = static_cast<unsigned char>(key.c_str()[0]);
            const auto b1 = static_cast<unsigned char>(key.c_str()[1]);
            if (((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) && std::fputs("\n", file.stream()) < 0) {
                throw ConfigWriteError(CONFIG_WRITE_FAILED);
            }
        }
        if (!entry.values.empty()) atStart = false;
        for (const WString& value : entry.values) {
            AString bytes;
            if (!ToMultiByteWhole(value, bytes)) throw ConfigWriteError(CONFIG_WRITE_FAILED);
            if (std::fprintf(file.stream(), "%s=%s\n", key.c_str(), bytes.c_str()) < 0) {
                throw ConfigWriteError(CONFIG_WRITE_FAILED);
            }
        }
    }
    if (!file.Commit()) throw ConfigWriteError(CONFIG_WRITE_FAILED);
}

}  // namespace vxk5
