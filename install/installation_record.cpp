#include "install/installation_record.h"

#include <unordered_map>

#include "install/journal_format.h"

namespace vxk5 {

namespace {

constexpr char kMagic[] = "vxk5-record 1";

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t space = line.find(' '); space != std::string::npos; space = line.find(' ', start)) {
        fields.push_back(line.substr(start, space - start));
        start = space + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// Relative, no empty, "." or ".." component.
bool IsPlainRelative(const std::string& path) {
    if (path.empty() || path[0] == '/') return false;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        const std::string component = path.substr(start, i - start);
        if (component.empty() || component == "." || component == "..") return false;
        start = i + 1;
    }
    return true;
}

bool Number(const std::string& text, uint64_t& value) { return ParseDecimal(text, value); }

bool SignedNumber(const std::string& text, int64_t& value) {
    uint64_t magnitude = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!ParseDecimal(negative ? text.substr(1) : text, magnitude) || magnitude > INT64_MAX) return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool RelativeField(const std::string& text, std::string& relative) {
    return UnescapePath(text, relative) && IsPlainRelative(relative);
}

// One line of the header or the body; false for one that does not read.
bool ParseLine(const std::vector<std::string>& f, InstallationRecord& record, bool& ended) {
    const std::string& kind = f[0];
    if (kind == "T" && f.size() == 2) {
        return UnescapePath(f[1], record.target) && record.target[0] == '/' && record.target.back() == '/';
    }
    if (kind == "I" && f.size() == 3) {
        return Number(f[1], record.targetIdentity.device) && Number(f[2], record.targetIdentity.inode);
    }
    if (kind == "M" && f.size() == 2 && (f[1] == "0" || f[1] == "1")) {
        record.madeTarget = f[1] == "1";
        return true;
    }
    if (kind == "K" && f.size() == 4) {
        record.kitCheck = f[2];
        if (f[3] == "-") record.kitPath.clear();  // not known
        return Number(f[1], record.kitSize) && (f[3] == "-" || UnescapePath(f[3], record.kitPath));
    }
    if (kind == "f" && f.size() == 6 && (f[4] == "r" || f[4] == "n")) {
        RecordedFile file;
        file.replaced = f[4] == "r";
        if (!Number(f[1], file.inode) || !Number(f[2], file.size) || !SignedNumber(f[3], file.modified)) return false;
        if (!RelativeField(f[5], file.relative)) return false;
        record.files.push_back(std::move(file));
        return true;
    }
    if (kind == "d" && f.size() == 3) {
        RecordedDirectory directory;
        if (!Number(f[1], directory.inode) || !RelativeField(f[2], directory.relative)) return false;
        record.directories.push_back(std::move(directory));
        return true;
    }
    if (kind == "S" && f.size() == 3) {
        return Number(f[1], record.transaction.device) && Number(f[2], record.transaction.inode);
    }
    if (kind == "G" && f.size() == 3) return Number(f[1], record.kept.device) && Number(f[2], record.kept.inode);
    if (kind == "A" && f.size() == 2) return SignedNumber(f[1], record.when);
    if (kind == "E" && f.size() == 1) {
        ended = true;
        return true;
    }
    return false;
}

// A name placed more than once stands at its last placement, in that place of the order.
void KeepLastPlacements(std::vector<RecordedFile>& files) {
    std::unordered_map<std::string, size_t> last;
    for (size_t k = 0; k < files.size(); ++k) last[files[k].relative] = k;
    if (last.size() == files.size()) return;
    // The original an earlier placement replaced is replaced all the same.
    for (size_t k = 0; k < files.size(); ++k) {
        if (files[k].replaced) files[last[files[k].relative]].replaced = true;
    }
    std::vector<RecordedFile> kept;
    kept.reserve(last.size());
    for (size_t k = 0; k < files.size(); ++k) {
        if (last[files[k].relative] == k) kept.push_back(std::move(files[k]));
    }
    files = std::move(kept);
}

}  // namespace

std::string RecordHeader(const InstallationRecord& record) {
    return std::string(kMagic) + "\nS " + std::to_string(record.transaction.device) + " " +
           std::to_string(record.transaction.inode) + "\nT " + EscapePath(record.target) + "\nI " +
           std::to_string(record.targetIdentity.device) + " " + std::to_string(record.targetIdentity.inode) +
           "\nM " + (record.madeTarget ? "1" : "0") + "\nK " + std::to_string(record.kitSize) + " " +
           (record.kitCheck.empty() ? std::string("-") : record.kitCheck) + " " +
           (record.kitPath.empty() ? std::string("-") : EscapePath(record.kitPath)) + "\n";
}

std::string RecordFileLine(const RecordedFile& file) {
    return "f " + std::to_string(file.inode) + " " + std::to_string(file.size) + " " + std::to_string(file.modified) +
           (file.replaced ? " r " : " n ") + EscapePath(file.relative) + "\n";
}

std::string RecordDirectoryLine(const RecordedDirectory& directory) {
    return "d " + std::to_string(directory.inode) + " " + EscapePath(directory.relative) + "\n";
}

std::string RecordKeptLine(const EntryIdentity& kept) {
    return "G " + std::to_string(kept.device) + " " + std::to_string(kept.inode) + "\n";
}

std::string RecordEnd(int64_t when) { return "A " + std::to_string(when) + "\nE\n"; }

bool RecordTransaction(const std::string& start, EntryIdentity& transaction) {
    const std::string head = std::string(kMagic) + "\n";
    const size_t end = start.find('\n', head.size());
    if (start.compare(0, head.size(), head) != 0 || end == std::string::npos) return false;
    const std::vector<std::string> f = Fields(start.substr(head.size(), end - head.size()));
    return f.size() == 3 && f[0] == "S" && Number(f[1], transaction.device) && Number(f[2], transaction.inode);
}

bool ParseRecord(const std::string& text, InstallationRecord& record) {
    record = InstallationRecord();
    const std::string head = std::string(kMagic) + "\n";
    if (text.compare(0, head.size(), head) != 0 || text.back() != '\n') return false;
    bool ended = false;
    size_t start = head.size();
    for (size_t end = text.find('\n', start); end != std::string::npos; end = text.find('\n', start)) {
        if (ended) return false;  // nothing follows the end
        if (!ParseLine(Fields(text.substr(start, end - start)), record, ended)) return false;
        start = end + 1;
    }
    if (!ended || record.target.empty() || record.targetIdentity.inode == 0) return false;
    KeepLastPlacements(record.files);
    return true;
}

}  // namespace vxk5
