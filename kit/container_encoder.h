#pragma once
// Encoding of the container's fields and records into bytes (see kit_format.h).
// Used by the kit writer, and by tests that build containers field by field.

#include <cstdint>
#include <string>
#include <vector>

#include "kit/distribution_kit.h"

namespace vxk5 {

namespace kitformat {

void AppendU32(std::string& out, uint32_t value);
void AppendCountedString(std::string& out, const WString& text);

// A description record; `padding` zero bytes follow the fields and are counted
// in the record length.
std::string EncodeDescriptionRecord(const KitDescription& description, uint32_t padding = 0);
// A file record with the entry's offset as stored (relative to the data area).
std::string EncodeFileRecord(const KitFileEntry& entry, uint32_t padding = 0);

enum class DescriptionForm { LanguageList, SingleLanguage };

// The container up to the data area: the description block in `form` and the
// file table. The single-language form carries the first description's
// product, vendor and description path (empty texts when there is none) and
// no language.
std::string EncodeContainerHead(DescriptionForm form, const std::vector<KitDescription>& descriptions,
                                const std::vector<KitFileEntry>& files);

}  // namespace kitformat

}  // namespace vxk5
