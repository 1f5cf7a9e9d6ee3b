#include "tools/kit_json.h"

#include <nlohmann/json.hpp>

#include "base/conversion.h"
#include "kit/kit_reader.h"
#include "tools/kit_input.h"
#include "tools/kit_inspect.h"
#include "tools/kit_signing.h"

namespace vxk5 {

namespace {

// A comment's bytes as they are when they are UTF-8; others become U+FFFD.
nlohmann::ordered_json Utf8Text(const std::string& text) {
    return nlohmann::ordered_json::parse(nlohmann::ordered_json(text).dump(-1, ' ', false,
                                                                          nlohmann::ordered_json::error_handler_t::replace));
}

// The lines of verify's problems, without their indentation.
nlohmann::ordered_json Lines(const std::string& text) {
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const size_t first = text.find_first_not_of(' ', start);
        if (first < end) lines.push_back(Utf8Text(text.substr(first, end - first)));
        start = end + 1;
    }
    return lines;
}

}  // namespace

bool VerifyKitJson(const std::string& kitPath, Warnings strictness, const minisign::PublicKey* key, std::ostream& out,
                   std::string& error, std::ostream* progress) {
    VerifyReport report;
    const bool read = InspectKit(kitPath, strictness, key, report, error, progress);
    nlohmann::ordered_json document;
    document["kit"] = Utf8Of(FromMultiByte(kitPath));
    document["ok"] = read && report.problems.empty();
    document["errors"] = read ? Lines(report.problems) : Lines(error);
    nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
    for (const std::string& warning : report.warnings) warnings.push_back(Utf8Text(warning));
    document["warnings"] = std::move(warnings);
    document["signature"] = nullptr;
    if (report.signatureChecked) {
        document["signature"] = {{"key_id", report.keyId}, {"trusted_comment", Utf8Text(report.trustedComment)}};
    }
    document["integrity"] = read ? nlohmann::ordered_json(report.checked ? "checked" : "unchecked") : nullptr;
    document["descriptions"] = read ? nlohmann::ordered_json(report.descriptions) : nullptr;
    document["files"] = read ? nlohmann::ordered_json(report.files) : nullptr;
    document["data_bytes"] = read ? nlohmann::ordered_json(report.dataBytes) : nullptr;
    document["container_bytes"] = read ? nlohmann::ordered_json(report.containerSize) : nullptr;
    out << document.dump(2) << "\n";
    if (read && !report.problems.empty()) error = "kit " + ShownKit(kitPath) + " has problems:\n" + report.problems;
    return read && report.problems.empty();
}

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
