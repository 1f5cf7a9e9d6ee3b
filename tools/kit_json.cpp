#include "tools/kit_json.h"

#include <nlohmann/json.hpp>

#include "base/conversion.h"
#include "kit/kit_reader.h"
#include "tools/kit_inspect.h"
#include "tools/kit_signing.h"

namespace vxk5 {

namespace {

// A comment's bytes as they are when they are UTF-8; others become U+FFFD.
nlohmann::ordered_json Utf8Text(const std::string& text) {
    return nlohmann::ordered_json::parse(nlohmann::ordered_json(text).dump(-1, ' ', false,
                                                                          nlohmann::ordered_json::error_handler_t::replace));
}

}  // namespace

bool ListKitJson(const std::string& kitPath, std::ostream& out, std::string& error) {
    std::unique_ptr<DistributionKit> kit;
    if (!ReadKitFile(kitPath, kit, error)) return false;
    nlohmann::ordered_json document;
    document["kit"] = Utf8Of(FromMultiByte(kitPath));
    nlohmann::ordered_json descriptions = nlohmann::ordered_json::array();
    for (const KitDescription& d : kit->Descriptions()) {
        descriptions.push_back({{"language", Utf8Of(d.language)},
                                {"product", Utf8Of(d.product)},
                                {"vendor", Utf8Of(d.vendor)},
                                {"description", Utf8Of(d.descriptionPath)}});
    }
    document["descriptions"] = std::move(descriptions);
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const KitFileEntry& e : kit->Entries()) {
        files.push_back({{"name", Utf8Of(e.name)},
                         {"modified", FormatFileTimeSeconds(FileTime{e.timeLow, e.timeHigh})},
                         {"size", e.size},
                         {"offset", e.offset}});
    }
    document["files"] = std::move(files);
    // What the signature file says, unchecked: null when there is none.
    const SignatureSummary signature = SummariseSignature(kitPath);
    if (!signature.present) {
        document["signature"] = nullptr;
    } else if (!signature.damage.empty()) {
        document["signature"] = {{"key_id", nullptr}, {"trusted_comment", nullptr}, {"damaged", signature.damage}};
    } else {
        document["signature"] = {{"key_id", signature.keyId}, {"trusted_comment", Utf8Text(signature.trustedComment)}};
    }
    // The deflate stream matched the check after it ("checked"), or the kit
    // carries none this tool knows ("unchecked"); a mismatch fails the reading.
    document["integrity"] = kit->Check().state == KitCheck::Matched ? "checked" : "unchecked";
    out << document.dump(2) << "\n";
    return true;
}

}  // namespace vxk5
