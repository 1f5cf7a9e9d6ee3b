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
// otherwise ends the conversion: the result is the convertible prefix.

#include <cstddef>
#include <cstdint>

#include "base/wstring.h"

// Sets the process locale from the environment (setlocale(LC_ALL, "")) and
// fixes the encoding the conversions use. Call before any thread exists.
// Returns the locale name, or nullptr when none could be set.
const char* InitProcessLocale();

// True when the conversions use the built-in UTF-8 codec.
bool ConversionIsUtf8();

AString ToMultiByte(const WString& text);
WString FromMultiByte(const AString& bytes);

// Array forms. The code page and flags are accepted and ignored. The source
// ends at its first 0 unit or byte, or after `sourceLength`. Return the number
// of bytes (units) the whole text needs; at most `targetSize` are stored, and
// only whole characters; a target size of 0 stores nothing.
uint32_t WideToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* source, size_t sourceLength,
                         char* target, size_t targetSize);
uint32_t MultiByteToWide(uint32_t codePage, uint32_t flags, const char* source, size_t sourceLength,
                         char16_t* target, size_t targetSize);
