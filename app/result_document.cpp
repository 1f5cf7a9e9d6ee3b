#include "app/result_document.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "base/conversion.h"
#include "platform/replacement_file.h"
#include "lang/language_texts.h"

namespace vxk5 {

namespace {

using Json = nlohmann::ordered_json;

Json PathOrNull(const WString& path) { return path.empty() ? Json(nullptr) : Json(Utf8Of(path)); }

// A directory in one form, ending with "/": the default template directory is
// proposed with one, a directory read back from the launcher configuration
// has none, and the document must not tell a first run from a later one.
Json DirectoryOrNull(const WString& directory) {
    if (directory.empty()) return nullptr;
    std::string text = Utf8Of(directory);
    if (text.back() != '/') text += '/';
    return text;
}

// The English text of a message, whatever language the run spoke.
std::string EnglishText(const std::string& key) {
    for (const MessagePair& pair : kTextsEnglish.pairs) {
        if (pair.key != nullptr && key == pair.key) return pair.text;
    }
    return std::string();
}

// What an uninstall did (a dry run: would do).
Json UninstallMember(const RunSummary& summary) {
    const UninstallCounts& counts = summary.uninstalled;
    Json kept = Json::array();
    for (const std::string& path : counts.keptChanged) kept.push_back(path);
    Json installed = nullptr;
    if (counts.installedAt != 0) {
        char text[32];
        const std::time_t when = static_cast<std::time_t>(counts.installedAt);
        struct std::tm parts {};
        if (gmtime_r(&when, &parts) != nullptr && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) != 0) {
            installed = text;
        }
    }
    return {{"installed_at", installed},
            {"removed", counts.removed},
            {"restored", counts.restored},
            {"missing", counts.missing},
            {"kept_changed", kept},
            {"directories_removed", counts.directoriesRemoved},
            {"originals_not_kept", counts.originalsNotKept},
            {"template_directory_removed", counts.templateRemoved}};
}

}  // namespace

const char* IntegrityName(KitCheck check) {
    if (check == KitCheck::Matched) return "checked";
    return IsKitDamage(check) ? "damaged" : "unchecked";
}

const char* OutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Installed: return "installed";
        case RunOutcome::UpToDate: return "up-to-date";
        case RunOutcome::Failed: return "failed";
        case RunOutcome::Cancelled: return "cancelled";
        case RunOutcome::NoKit: return "no-kit";
        case RunOutcome::Untrusted: return "untrusted";
        case RunOutcome::Uninstalled: return "uninstalled";
        case RunOutcome::NothingToUninstall: return "nothing-to-uninstall";
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
    document["template_directory"] = DirectoryOrNull(summary.templateDirectory);
    // A failed installation was rolled back: it leaves nothing written.
    const bool rolledBack = summary.outcome == RunOutcome::Failed && !summary.dryRun;
    const InstallCounts counts = rolledBack ? InstallCounts{} : summary.counts;
    document["files"] = {{"new", counts.newFiles},
                         {"replaced", counts.replaced},
                         {"kept", counts.kept},
                         {"refused", summary.refused}};
    document["originals_kept_bytes"] = rolledBack ? 0 : summary.keptBytes;
    document["recorded_in_launcher_configuration"] = summary.recorded;
    document["recovered_at_start"] = summary.recoveredAtStart;
    document["dry_run"] = summary.dryRun;
    if (summary.signatureKeyId.empty()) {
        document["signature"] = nullptr;
    } else {
        document["signature"] = {{"key_id", summary.signatureKeyId},
                                 {"trusted_comment", summary.signatureTrustedComment}};
    }
    document["integrity"] = IntegrityName(summary.kitCheck);
    if (summary.uninstall) document["uninstall"] = UninstallMember(summary);
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

}  // namespace vxk5
