#include "kit/container_encoder.h"

#include <utility>

#include "kit/kit_format.h"

namespace vxk5 {

namespace kitformat {

void AppendU32(std::string& out, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                           static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    out.append(bytes, 4);
}

void AppendCountedString(std::string& out, const WString& text) {
    AppendU32(out, static_cast<uint32_t>(text.length()));
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
}

namespace {

// Prefixes `body` with the record length, which counts its own four bytes.
std::string FinishRecord(std::string body, uint32_t padding) {
    body.append(padding, '\0');
    std::string record;
    record.reserve(body.size() + kU32Size);
    AppendU32(record, static_cast<uint32_t>(body.size() + kU32Size));
    record += body;
    return record;
}

}  // namespace

std::string EncodeDescriptionRecord(const KitDescription& description, uint32_t padding) {
    std::string body;
    AppendCountedString(body, description.language);
    AppendCountedString(body, description.product);
    AppendCountedString(body, description.vendor);
    AppendCountedString(body, description.descriptionPath);
    return FinishRecord(std::move(body), padding);
}

std::string EncodeFileRecord(const KitFileEntry& entry, uint32_t padding) {
    std::string body;
    AppendCountedString(body, entry.name);
    AppendU32(body, entry.timeLow);
    AppendU32(body, entry.timeHigh);
    AppendU32(body, entry.offset);
    AppendU32(body, entry.size);
    return FinishRecord(std::move(body), padding);
}

std::string EncodeContainerHead(DescriptionForm form, const std::vector<KitDescription>& descriptions,
                                const std::vector<KitFileEntry>& files) {
    std::string out;
    if (form == DescriptionForm::SingleLanguage) {
        const KitDescription first = descriptions.empty() ? KitDescription{} : descriptions.front();
        AppendU32(out, kSingleLanguageForm);
        AppendCountedString(out, first.product);
        AppendCountedString(out, first.vendor);
        AppendCountedString(out, first.descriptionPath);
    } else {
        AppendU32(out, kLanguageListForm);
        AppendU32(out, static_cast<uint32_t>(descriptions.size()));
        for (const KitDescription& description : descriptions) out += EncodeDescriptionRecord(description);
    }
    AppendU32(out, static_cast<uint32_t>(files.size()));
    for (const KitFileEntry& entry : files) out += EncodeFileRecord(entry);
    return out;
}

}  // namespace kitformat

}  // namespace vxk5
