#pragma once
// Layout of the kit file and of the unpacked container, shared by the reader
// and the writer.
//
// The kit file is one raw deflate stream (no zlib or gzip framing, 32 KiB
// history). Its inflated bytes are the container: unsigned 32-bit
// little-endian integers and counted strings (a 32-bit count of UTF-16 units,
// then the units, little-endian, no terminator), laid out as
//   description block  form flag; 0 = single-language form (product, vendor,
//                      description path as three counted strings), anything
//                      else = language-list form (a count, then records of
//                      length, language, product, vendor, description path)
//   file table         a count, then records of length, name, time low, time
//                      high, data offset, data size
//   data area          the files' bytes; a stored offset counts from here
// A record's length counts its own four bytes; bytes after its fields are
// skipped, so longer records remain readable.

#include <cstdint>

namespace vxk5 {

namespace kitformat {

constexpr uint32_t kWindowSize = 32768;  // mapped kit window; deflate output buffer of the kit writer
constexpr int kWindowBits = -15;         // raw deflate, 32 KiB history
// zlib's level for kits: 6 takes about two thirds of 9's time on template
// trees for 0.05-0.7 % more bytes, and the kits stay 6-7 % smaller than a
// tar.gz of the same tree.
constexpr int kWriteLevel = 6;

constexpr uint32_t kSingleLanguageForm = 0;
constexpr uint32_t kLanguageListForm = 1;

constexpr uint32_t kU32Size = 4;
// Record length plus the four string counts.
constexpr uint32_t kDescriptionRecordMinLength = 5 * kU32Size;
// Record length, name count, time low, time high, offset, size.
constexpr uint32_t kFileRecordMinLength = 6 * kU32Size;

// The format's limits. Counts, sizes and stored offsets are 32-bit fields;
// a file's place in the container is the data area's start plus its stored
// offset, and must itself fit in 32 bits with the file's bytes ending at most
// at 4 GiB - 1: the container (head and data) is less than 4 GiB.
constexpr uint64_t kMaxContainerOffset = UINT32_MAX;
constexpr uint64_t kMaxContainerSize = UINT32_MAX;

constexpr char16_t kSingleFormLanguage[] = u"en";  // the single-language form's language
constexpr char16_t kFallbackLanguage[] = u"en";    // description path used when a language has none

}  // namespace kitformat

}  // namespace vxk5
