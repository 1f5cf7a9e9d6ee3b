#include "app/result_document.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "config/replacement_file.h"
#include "lang/language_texts.h"

namespace {

using Json = nlohmann::ordered_json;

// UTF-8 of UTF-16 text. A unit that is not part of a pair (among them the
// units that stand for undecodable file-name bytes) becomes U+FFFD.
std::string Utf8Of(const WString& text) {
    std::string bytes;
    bytes.reserve(text.length());
    const size_t length = text.length();
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

Json PathOrNull(const WString& path) { return path.empty() ? Json(nullptr) : Json(Utf8Of(path)); }

// The English text of a message, whatever language the run spoke.
std::string EnglishText(const std::string& key) {
    for (const MessagePair& pair : kTextsEnglish.pairs) {
        if (pair.key != nullptr && key == pair.key) return pair.text;
    }
    return std::string();
}

}  // namespace

const char* OutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Installed: return "installed";
        case RunOutcome::UpToDate: return "up-to-date";
        case RunOutcome::Failed: return "failed";
        case RunOutcome::Cancelled: return "cancelled";
        case RunOutcome::NoKit: return "no-kit";
    }
    return "failed";
}

std::string ResultDocument(const RunSummary& summary, double seconds) {
    Json document;
    document["outcome"] = OutcomeName(summary.outcome);
    if (summary.messageKey.empty()) {
        document["message_key"] = nullptr;
        document["message"] = summary.detail;
    } else {
        document["message_key"] = summary.messageKey;
        document["message"] = EnglishText(summary.messageKey);
    }
    document["error_code"] = summary.errorCode;
    document["kit"] = PathOrNull(summary.kitPath);
    document["template_directory"] = PathOrNull(summary.templateDirectory);
    // A failed installation was rolled back: it leaves nothing written.
    const bool rolledBack = summary.outcome == RunOutcome::Failed && !summary.dryRun;
    const InstallCounts counts = rolledBack ? InstallCounts{} : summary.counts;
    document["files"] = {{"new", counts.newFiles},
                         {"replaced", counts.replaced},
                         {"kept", counts.kept},
                         {"refused", summary.refused}};
    document["recorded_in_launcher_configuration"] = summary.recorded;
    document["recovered_at_start"] = summary.recoveredAtStart;
    document["dry_run"] = summary.dryRun;
    document["seconds"] = std::round(seconds * 1000.0) / 1000.0;
    // Texts are UTF-8 already; anything else would be replaced, not thrown.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool WriteResultFile(const AString& path, const std::string& document) {
    errno = 0;
    bool written = false;
    if (!path.empty()) {
        ReplacementFile file;
        written = file.Create(path) &&
                  std::fwrite(document.data(), 1, document.size(), file.stream()) == document.size() &&
                  file.Commit();
    }
    if (!written) {
        const int error = errno;
        std::fprintf(stderr, "vxk5-setup: cannot write the result file \"%s\"%s%s\n", path.c_str(),
                     error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
        std::fflush(stderr);
    }
    return written;
}
