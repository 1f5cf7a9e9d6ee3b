#pragma once
// Conversions between WString (UTF-16) and AString (the locale's multibyte
// encoding). The locale is taken from the environment once, at start, by
// InitProcessLocale; the conversions only read it, so threads may convert at
// the same time. A locale whose encoding is plain ASCII (C, POSIX) converts as
// UTF-8, the encoding of GTK and of file names here.
//
// Lossless round trips: a byte that cannot be decoded becomes the unit
// U+DC00 + byte (U+DC80..U+DCFF) and is encoded back to the same byte.
// Characters beyond U+FFFF are surrogate pairs. A unit that cannot be encoded
// otherwise (an unpaired surrogate below U+DC80 or above U+DCFF, a character the
// locale has no bytes for) ends the conversion, and so does a 0 unit.
// ToMultiByteWhole tells its caller when that happened; every path handed to
// the system goes through it, so a path is never silently cut short.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/wstring.h"

namespace vxk5 {

// Sets the process locale from the environment (setlocale(LC_ALL, "")) and
// fixes the encoding the conversions use. Call before any thread exists.
// Returns the locale name, or nullptr when none could be set.
const char* InitProcessLocale();

// True when the conversions use the built-in UTF-8 codec.
bool ConversionIsUtf8();

// Whether `unit` stands for a byte that could not be decoded (U+DC80..U+DCFF).
constexpr bool IsEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// UTF-8 of UTF-16 text, whatever the locale: for documents that are UTF-8 by
// definition (JSON). A unit that is not part of a pair (among them the units
// that stand for undecodable bytes) becomes U+FFFD.
std::string Utf8Of(const WString& text);
// UTF-16 of UTF-8 text, whatever the locale (the message tables, GTK's texts).
// Stops at a 0 byte; a byte that is not part of a valid sequence becomes its
// escape unit, as in FromMultiByte.
WString FromUtf8(const char* bytes, size_t length);

// The convertible prefix: for texts that are shown, never for paths.
AString ToMultiByte(const WString& text);
// Converts `text` into `bytes`. False when the conversion stopped before the
// end of the text (a 0 unit, or a unit the locale cannot encode); `bytes` then
// holds the convertible prefix, which must not be used as the whole text.
[[nodiscard]] bool ToMultiByteWhole(const WString& text, AString& bytes);
WString FromMultiByte(const AString& bytes);

// The same crossing for bytes kept in a std::string (command-line arguments,
// journal lines, JSON fields): the same rules, so an undecodable byte comes
// back as the same byte and both directions stop at a 0 byte or unit.
WString FromMultiByte(const std::string& bytes);
std::string ToMultiByteString(const WString& text);

// Array forms. The code page and flags are accepted and ignored. The source
// ends at its first 0 unit or byte, or after `sourceLength`. Return the number
// of bytes (units) the whole text needs; at most `targetSize` are stored, and
// only whole characters; a target size of 0 stores nothing. `whole`, when
// given, is set to whether the conversion reached the end of the source (false
// when it stopped at a unit that cannot be encoded).
uint32_t WideToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* source, size_t sourceLength,
                         char* target, size_t targetSize, bool* whole = nullptr);
uint32_t MultiByteToWide(uint32_t codePage, uint32_t flags, const char* source, size_t sourceLength,
                         char16_t* target, size_t targetSize);

}  // namespace vxk5
