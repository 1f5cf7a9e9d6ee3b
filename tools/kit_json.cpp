#include "tools/kit_json.h"

#include <nlohmann/json.hpp>

#include "base/conversion.h"
#include "kit/kit_reader.h"
#include "tools/kit_inspect.h"

namespace {

void AppendUtf8(std::string& out, uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

}  // namespace

std::string Utf8Of(const WString& text) {
    std::string out;
    const size_t length = text.length();
    for (size_t i = 0; i < length; ++i) {
        const uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

bool ListKitJson(const std::string& kitPath, std::ostream& out, std::string& error) {
    DistributionKit kit;
    if (!ReadKitFile(kitPath, kit, error)) return false;
    nlohmann::ordered_json document;
    document["kit"] = Utf8Of(FromMultiByte(AString(kitPath.c_str(), kitPath.size())));
    nlohmann::ordered_json descriptions = nlohmann::ordered_json::array();
    for (const KitDescription& d : kit.descriptions) {
        descriptions.push_back({{"language", Utf8Of(d.language)},
                                {"product", Utf8Of(d.product)},
                                {"vendor", Utf8Of(d.vendor)},
                                {"description", Utf8Of(d.descriptionPath)}});
    }
    document["descriptions"] = std::move(descriptions);
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const KitFileEntry& e : kit.entries) {
        files.push_back({{"name", Utf8Of(e.name)},
                         {"modified", FormatFileTime(FileTime{e.timeLow, e.timeHigh})},
                         {"size", e.size},
                         {"offset", e.offset}});
    }
    document["files"] = std::move(files);
    out << document.dump(2) << "\n";
    return true;
}
