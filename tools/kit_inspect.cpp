#include "tools/kit_inspect.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/conversion.h"
#include "base/file_time_units.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "kit/signed_kit.h"
#include "platform/platform_error.h"
#include "install/reserved_names.h"
#include "tools/kit_check_text.h"
#include "tools/kit_input.h"
#include "tools/kit_signing.h"
#include "lang/messages.h"

namespace vxk5 {

namespace {


// A name the installer can place below the template directory: not empty,
// not absolute, no empty, "." or ".." component.
bool IsUsableName(const WString& name) {
    if (name.empty()) return false;
    WString rest = name;
    ReplaceAll(rest, u"/", u"\\");
    size_t start = 0;
    for (;;) {
        const size_t end = rest.find(u'\\', start);
        const WString part = rest.substr(start, end == WString::npos ? WString::npos : end - start);
        if (part.empty() || part == u"." || part == u"..") return false;
        if (end == WString::npos) return true;
        start = end + 1;
    }
}

WString NormalisedName(const WString& name) {
    WString normalised = name;
    ReplaceAll(normalised, u"/", u"\\");
    return normalised;
}

uint64_t NameHash(const WString& normalised) {
    return std::hash<std::u16string_view>()(std::u16string_view(normalised.data(), normalised.size()));
}

// The entries' names as verify compares them ("/" and "\\" alike), kept as
// hashes: a kit of a million entries costs 16 bytes an entry here, and names
// of equal hash are compared whole, so a collision never makes a duplicate.
class NameIndex {
public:
    explicit NameIndex(const std::vector<KitFileEntry>& entries) : entries_(entries) {
        sorted_.reserve(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) sorted_.emplace_back(NameHash(NormalisedName(entries[i].name)), i);
        std::sort(sorted_.begin(), sorted_.end());
        for (size_t first = 0; first < sorted_.size();) {
            size_t end = first + 1;
            while (end < sorted_.size() && sorted_[end].first == sorted_[first].first) ++end;
            // Within a run of equal hashes, in the kit's order: an entry whose
            // name an earlier one has is a repetition.
            for (size_t k = first + 1; k < end; ++k) {
                const WString name = NormalisedName(entries[sorted_[k].second].name);
                for (size_t j = first; j < k; ++j) {
                    if (NormalisedName(entries[sorted_[j].second].name) == name) {
                        repeated_.insert(sorted_[k].second);
                        break;
                    }
                }
            }
            first = end;
        }
    }

    bool RepeatsAnEarlier(size_t index) const { return repeated_.count(index) != 0; }

    bool Contains(const WString& name) const {
        const WString normalised = NormalisedName(name);
        const uint64_t hash = NameHash(normalised);
        auto at = std::lower_bound(sorted_.begin(), sorted_.end(), std::make_pair(hash, size_t{0}));
        for (; at != sorted_.end() && at->first == hash; ++at) {
            if (NormalisedName(entries_[at->second].name) == normalised) return true;
        }
        return false;
    }

private:
    const std::vector<KitFileEntry>& entries_;
    std::vector<std::pair<uint64_t, size_t>> sorted_;  // (hash, entry index), ordered
    std::unordered_set<size_t> repeated_;
};

// Reads the kit with the installer's own check of its signature, under a
// policy of this one key; `report` tells whose signature it is.
bool ReadSignedBy(const std::string& kitPath, const minisign::PublicKey& key, std::unique_ptr<DistributionKit>& kit,
                  VerifyReport& report, std::string& error) {
    if (IsStandardStream(kitPath)) {
        error = "--key checks the signature file beside a kit file; a kit on standard input has none";
        return false;
    }
    if (!CheckKitFile(kitPath, error)) return false;
    TrustPolicy policy;
    policy.inForce = true;
    policy.keys.push_back(key);
    SignatureCheck check;
    const uint32_t code = ReadSignedKit(kit, FromMultiByte(kitPath), policy, check);
    if (check.verdict != SignatureVerdict::Verified) {
        error = check.verdict == SignatureVerdict::NotChecked
                    ? KitReadFailure(kitPath, code, kit.get())
                    : "kit " + kitPath + " is not signed by key " + minisign::KeyIdText(key.keyId) + ": " +
                          VerdictText(check.verdict);
        return false;
    }
    report.signatureChecked = true;
    report.keyId = check.keyId;
    report.trustedComment = check.trustedComment;
    if (code != 0) {
        error = KitReadFailure(kitPath, code, kit.get());
        return false;
    }
    return true;
}

// Verify's own checks of each entry: its bytes and its name.
std::string EntryProblems(const DistributionKit& kit, int64_t containerSize) {
    std::string problems;
    for (size_t i = 0; i < kit.Entries().size(); ++i) {
        const KitFileEntry& e = kit.Entries()[i];
        const std::string name = ToMultiByteString(e.name);
        if (static_cast<uint64_t>(e.offset) + e.size > static_cast<uint64_t>(containerSize)) {
            problems += "  " + name + ": bytes " + std::to_string(e.offset) + "+" + std::to_string(e.size) +
                        " lie outside the container of " + std::to_string(containerSize) + " bytes\n";
        }
        if (!IsUsableName(e.name)) problems += "  " + name + ": not a usable relative path\n";
    }
    return problems;
}

// The installer's own name check of the entries and of the description
// documents: every kit it would refuse fails here.
std::string InstallerRefusals(const DistributionKit& kit) {
    std::string problems;
    for (const EntryNameProblem& problem : FindEntryNameProblems(kit.Entries())) {
        problems += "  " + ToMultiByteString(kit.Entries()[problem.index].name) + ": refused by the installer, " +
                    DescribeEntryNameCheck(problem.check);
        if (problem.check == ENTRY_NAME_FILE_AND_DIRECTORY) {
            problems += " (" + ToMultiByteString(kit.Entries()[problem.other].name) + ")";
        }
        problems += "\n";
    }
    // The names an installation keeps for its own work, refused by the
    // installer before its first change.
    for (const KitFileEntry& e : kit.Entries()) {
        AString path;
        if (EntryNamePath(e.name, path) && HasReservedComponent(std::string_view(path.c_str(), path.length()))) {
            problems += "  " + ToMultiByteString(e.name) +
                        ": refused by the installer, a name it keeps for its own work\n";
        }
    }
    for (const KitDescription& d : kit.Descriptions()) {
        if (!d.descriptionPath.empty() && CheckEntryName(d.descriptionPath) != ENTRY_NAME_OK) {
            problems += "  description document of \"" + ToMultiByteString(d.language) + "\": " +
                        DescribeEntryNameCheck(CheckEntryName(d.descriptionPath)) + "\n";
        }
    }
    return problems;
}

// What is suspicious about the names, the descriptions and the kit's check
// but installable.
std::vector<std::string> Doubts(const DistributionKit& kit, const NameIndex& names) {
    std::vector<std::string> doubts = CheckDoubts(kit.Check());
    // The installer writes each copy of a repeated name in turn, as it writes
    // any entry: only over an older file, so the newest copy stays.
    for (size_t i = 0; i < kit.Entries().size(); ++i) {
        if (names.RepeatsAnEarlier(i)) {
            doubts.push_back(ToMultiByteString(kit.Entries()[i].name) +
                             ": listed more than once; each copy is installed in turn over an older file, so the newest stays");
        }
    }
    for (const KitDescription& d : kit.Descriptions()) {
        const std::string language = ToMultiByteString(d.language);
        if (!IsInterfaceLanguage(d.language)) {
            doubts.push_back("description language \"" + language +
                             "\" is not one of the installer's 24 languages");
        }
        if (!d.descriptionPath.empty() && !names.Contains(d.descriptionPath)) {
            doubts.push_back("description document of \"" + language + "\" is not in the kit: " +
                             ToMultiByteString(d.descriptionPath));
        }
    }
    return doubts;
}

}  // namespace

bool ReadKitFile(const std::string& kitPath, std::unique_ptr<DistributionKit>& kit, std::string& error,
                 std::ostream* progress) {
    return ReadKitInput(kitPath, kit, error, progress);
}

bool IsInterfaceLanguage(const WString& language) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        const char* code = LanguageCode(id);
        if (code != nullptr && CompareNoCase(language, FromMultiByte(AString(code))) == 0) return true;
    }
    return false;
}

namespace {

// "YYYY-MM-DDTHH:MM:SS" of the time's whole second, in UTC; the fraction apart.
std::string FormatWholeSecond(FileTime time, unsigned& fraction) {
    const uint64_t ticks = time.Ticks();
    const int64_t seconds = static_cast<int64_t>(ticks / kFileTimeTicksPerSecond) - kFileTimeEpochOffsetSeconds;
    fraction = static_cast<unsigned>(ticks % kFileTimeTicksPerSecond);
    const time_t whole = static_cast<time_t>(seconds);
    struct tm parts {};
    if (gmtime_r(&whole, &parts) == nullptr) return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

}  // namespace

std::string FormatFileTime(FileTime time) {
    unsigned fraction = 0;
    const std::string whole = FormatWholeSecond(time, fraction);
    if (whole.empty()) return "?";
    char text[16];
    std::snprintf(text, sizeof text, ".%07uZ", fraction);
    return whole + text;
}

std::string FormatFileTimeSeconds(FileTime time) {
    unsigned fraction = 0;
    const std::string whole = FormatWholeSecond(time, fraction);
    return whole.empty() ? "?" : whole + "Z";
}

bool ListKit(const std::string& kitPath, std::ostream& out, std::string& error) {
    std::unique_ptr<DistributionKit> kit;
    if (!ReadKitInput(kitPath, kit, error)) return false;
    out << "Descriptions: " << kit->Descriptions().size() << "\n";
    out << "  language\tproduct\tvendor\tdescription\n";
    for (const KitDescription& d : kit->Descriptions()) {
        out << "  " << ToMultiByteString(d.language) << "\t" << ToMultiByteString(d.product) << "\t" << ToMultiByteString(d.vendor) << "\t"
            << ToMultiByteString(d.descriptionPath) << "\n";
    }
    const SignatureSummary signature = SummariseSignature(kitPath);
    if (IsStandardStream(kitPath)) {
        out << "Signature: not looked for (the kit came on standard input)\n";
    } else if (!signature.present) {
        out << "Signature: none\n";
    } else if (!signature.damage.empty()) {
        out << "Signature: damaged (" << signature.damage << ")\n";
    } else {
        out << "Signature: key id " << signature.keyId << ", trusted comment: " << signature.trustedComment
            << " (not checked; verify --key checks it)\n";
    }
    out << CheckLine(kit->Check()) << "\n";
    out << "Files: " << kit->Entries().size() << "\n";
    out << "  name\tmodified (UTC)\tsize\toffset\n";
    for (const KitFileEntry& e : kit->Entries()) {
        out << "  " << ToMultiByteString(e.name) << "\t" << FormatFileTime(FileTime{e.timeLow, e.timeHigh}) << "\t" << e.size
            << "\t" << e.offset << "\n";
    }
    return true;
}

bool ListKitNames(const std::string& kitPath, std::ostream& out, std::string& error) {
    std::unique_ptr<DistributionKit> kit;
    if (!ReadKitInput(kitPath, kit, error)) return false;
    for (const KitFileEntry& e : kit->Entries()) {
        WString name = e.name;
        ReplaceAll(name, u"\\", u"/");
        out << ToMultiByteString(name) << "\n";
    }
    return true;
}

bool InspectKit(const std::string& kitPath, Warnings strictness, const minisign::PublicKey* key, VerifyReport& report,
                std::string& error, std::ostream* progress) {
    report = VerifyReport();
    std::unique_ptr<DistributionKit> kit;
    if (key != nullptr ? !ReadSignedBy(kitPath, *key, kit, report, error)
                       : !ReadKitInput(kitPath, kit, error, progress)) {
        return false;
    }
    report.containerSize = SeekFileHandle(kit->Container(), 0, FILE_FROM_END);
    if (report.containerSize < 0) {
        error = std::string("cannot take the size of the unpacked kit: ") + std::strerror(GetPlatformErrno());
        return false;
    }
    const NameIndex names(kit->Entries());
    report.problems = EntryProblems(*kit, report.containerSize) + InstallerRefusals(*kit);
    // Suspicious but installable.
    report.warnings = Doubts(*kit, names);
    if (strictness == Warnings::CountAsErrors && !report.warnings.empty()) {
        report.problems += "  " + std::to_string(report.warnings.size()) +
                           (report.warnings.size() == 1 ? " warning" : " warnings") + ", which --strict counts as errors\n";
    }
    report.checkLine = CheckLine(kit->Check());
    report.checked = kit->Check().state == KitCheck::Matched;
    report.descriptions = kit->Descriptions().size();
    report.files = kit->Entries().size();
    for (const KitFileEntry& e : kit->Entries()) report.dataBytes += e.size;
    return true;
}

bool VerifyKit(const std::string& kitPath, Warnings strictness, std::ostream& out, std::ostream& warnings,
               std::string& error, const minisign::PublicKey* key, std::ostream* progress) {
    VerifyReport report;
    if (!InspectKit(kitPath, strictness, key, report, error, progress)) return false;
    for (const std::string& doubt : report.warnings) warnings << "warning: " << doubt << "\n";
    if (!report.problems.empty()) {
        error = "kit " + ShownKit(kitPath) + " has problems:\n" + report.problems;
        return false;
    }
    if (report.signatureChecked) {
        out << "Signature: good, key id " << report.keyId << ", trusted comment: " << report.trustedComment << "\n";
    }
    out << report.checkLine << "\n";
    out << "OK: " << report.descriptions << " descriptions, " << report.files << " files, " << report.dataBytes
        << " bytes of file data, container of " << report.containerSize << " bytes\n";
    return true;
}

}  // namespace vxk5
