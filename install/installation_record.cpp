#include "install/installation_record.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "install/journal_format.h"

namespace vxk5 {

namespace {

constexpr char kMagic[] = "vxk5-record 1";

// A line's fields, split at each space: at most kMaxFields (a line with more is none of ours).
constexpr size_t kMaxFields = 7;
struct Fields {
    std::string_view field[kMaxFields];
    size_t count = 0;
    size_t size() const { return count; }
    const std::string_view& operator[](size_t n) const { return field[n]; }
};

Fields Split(std::string_view line) {
    Fields fields;
    size_t start = 0;
    for (size_t space = line.find(' '); space != std::string_view::npos; space = line.find(' ', start)) {
        if (fields.count == kMaxFields - 1) return Fields();
        fields.field[fields.count++] = line.substr(start, space - start);
        start = space + 1;
    }
    fields.field[fields.count++] = line.substr(start);
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

// A decimal number of at most 20 digits that fits 64 bits.
bool Number(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t result = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9') return false;
        const uint64_t next = result * 10 + static_cast<uint64_t>(digit - '0');
        if (next / 10 != result) return false;  // beyond 64 bits
        result = next;
    }
    value = result;
    return true;
}

bool SignedNumber(std::string_view text, int64_t& value) {
    uint64_t magnitude = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!Number(negative ? text.substr(1) : text, magnitude) || magnitude > INT64_MAX) return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool Path(std::string_view text, std::string& path) { return UnescapePath(text, path); }

bool RelativeField(std::string_view text, std::string& relative) {
    return Path(text, relative) && IsPlainRelative(relative);
}

// One line of the header or the body; false for one that does not read.
// Without `keepEntries` the files and directories are read but not kept.
bool ParseLine(const Fields& f, InstallationRecord& record, bool& ended, bool keepEntries = true) {
    if (f.size() == 0) return false;
    const std::string_view kind = f[0];
    if (kind == "T" && f.size() == 2) {
        return Path(f[1], record.target) && record.target[0] == '/' && record.target.back() == '/';
    }
    if (kind == "I" && f.size() == 3) {
        return Number(f[1], record.targetIdentity.device) && Number(f[2], record.targetIdentity.inode);
    }
    if (kind == "M" && f.size() == 2 && (f[1] == "0" || f[1] == "1")) {
        record.madeTarget = f[1] == "1";
        return true;
    }
    if (kind == "K" && f.size() == 4) {
        record.kitCheck = std::string(f[2]);
        if (f[3] == "-") record.kitPath.clear();  // not known
        return Number(f[1], record.kitSize) && (f[3] == "-" || Path(f[3], record.kitPath));
    }
    if (kind == "f" && f.size() == 6 && (f[4] == "r" || f[4] == "n")) {
        RecordedFile file;
        file.replaced = f[4] == "r";
        if (!Number(f[1], file.inode) || !Number(f[2], file.size) || !SignedNumber(f[3], file.modified)) return false;
        if (!RelativeField(f[5], file.relative)) return false;
        if (keepEntries) record.files.push_back(std::move(file));
        return true;
    }
    if (kind == "d" && f.size() == 3) {
        RecordedDirectory directory;
        if (!Number(f[1], directory.inode) || !RelativeField(f[2], directory.relative)) return false;
        if (keepEntries) record.directories.push_back(std::move(directory));
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
// Whether any two names may be the same: first by their hashes alone, sorted,
// which costs no allocation per name.
bool MayRepeat(const std::vector<RecordedFile>& files) {
    std::vector<size_t> hashes;
    hashes.reserve(files.size());
    for (const RecordedFile& file : files) hashes.push_back(std::hash<std::string_view>{}(file.relative));
    std::sort(hashes.begin(), hashes.end());
    return std::adjacent_find(hashes.begin(), hashes.end()) != hashes.end();
}

void KeepLastPlacements(std::vector<RecordedFile>& files) {
    if (!MayRepeat(files)) return;
    // Views of the names, which stay where they are while the map lives.
    std::unordered_map<std::string_view, size_t> last;
    last.reserve(files.size());
    for (size_t k = 0; k < files.size(); ++k) last[files[k].relative] = k;
    if (last.size() == files.size()) return;
    // The original an earlier placement replaced is replaced all the same.
    for (size_t k = 0; k < files.size(); ++k) {
        if (files[k].replaced) files[last[files[k].relative]].replaced = true;
    }
    std::vector<RecordedFile> kept;
    kept.reserve(last.size());
    std::vector<bool> stays(files.size());
    for (size_t k = 0; k < files.size(); ++k) stays[k] = last[files[k].relative] == k;
    last.clear();
    for (size_t k = 0; k < files.size(); ++k) {
        if (stays[k]) kept.push_back(std::move(files[k]));
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
    const Fields f = Split(std::string_view(start).substr(head.size(), end - head.size()));
    return f.size() == 3 && f[0] == "S" && Number(f[1], transaction.device) && Number(f[2], transaction.inode);
}

bool ParseRecord(const std::string& text, InstallationRecord& record) {
    record = InstallationRecord();
    const std::string head = std::string(kMagic) + "\n";
    if (text.compare(0, head.size(), head) != 0 || text.back() != '\n') return false;
    bool ended = false;
    size_t start = head.size();
    record.files.reserve(text.size() / 32);  // a file's line is longer
    const std::string_view all(text);
    for (size_t end = text.find('\n', start); end != std::string::npos; end = text.find('\n', start)) {
        if (ended) return false;  // nothing follows the end
        if (!ParseLine(Split(all.substr(start, end - start)), record, ended)) return false;
        start = end + 1;
    }
    record.files.shrink_to_fit();
    if (!ended || record.target.empty() || record.targetIdentity.inode == 0) return false;
    KeepLastPlacements(record.files);
    return true;
}

bool RecordSummaryReader::Feed(std::string_view piece) {
    if (failed_) return false;
    partial_.append(piece);
    size_t start = 0;
    for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n', start)) {
        const std::string_view line = std::string_view(partial_).substr(start, end - start);
        start = end + 1;
        if (!started_) {
            started_ = true;
            failed_ = line != kMagic;
        } else {
            failed_ = ended_ || !ParseLine(Split(line), record_, ended_, false);  // nothing follows the end
        }
        if (failed_) return false;
    }
    partial_.erase(0, start);
    return true;
}

bool RecordSummaryReader::Finish(InstallationRecord& record) {
    if (failed_ || !partial_.empty() || !ended_ || record_.target.empty() || record_.targetIdentity.inode == 0) {
        return false;
    }
    record = std::move(record_);
    return true;
}

}  // namespace vxk5
