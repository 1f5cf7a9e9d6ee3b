#include "install/journal_format.h"

namespace vxk5 {

namespace {

constexpr char kMagic[] = "vxk5-journal 2";

bool NeedsEscape(unsigned char byte) { return byte == '%' || byte == ' ' || byte < 0x20 || byte == 0x7F; }

std::string Escape(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size() + 4);
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (NeedsEscape(byte)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(std::string_view text, std::string& path) {
    path.clear();
    path.reserve(text.size());
    size_t plain = 0;  // where the bytes not yet copied start
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            if (NeedsEscape(static_cast<unsigned char>(text[i]))) return false;
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        path.append(text.data() + plain, i - plain);
        path += static_cast<char>(high * 16 + low);
        i += 2;
        plain = i + 1;
    }
    path.append(text.data() + plain, text.size() - plain);
    return !path.empty();
}

// Absolute, and no component is "..".
bool IsPlainAbsolute(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    size_t start = 1;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        if (i - start == 2 && path[start] == '.' && path[start + 1] == '.') return false;
        start = i + 1;
    }
    return true;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool BelowTarget(const std::string& path, const std::string& target) {
    return path.size() > target.size() && StartsWith(path, target);
}

// `path` names the target itself or a directory on the way down to it.
bool OnTheWayToTarget(const std::string& path, const std::string& target) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return StartsWith(target, trimmed) && (target.size() == trimmed.size() || target[trimmed.size()] == '/');
}

bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t next = value * 10 + static_cast<uint64_t>(c - '0');
        if (next / 10 != value) return false;
        value = next;
    }
    return true;
}

// "<number> <number> <rest>".
bool SplitIdentity(const std::string& text, uint64_t& device, uint64_t& inode, std::string& rest) {
    const size_t first = text.find(' ');
    if (first == std::string::npos) return false;
    const size_t second = text.find(' ', first + 1);
    if (!ParseNumber(text.substr(0, first), device)) return false;
    if (second == std::string::npos) {
        rest.clear();
        return ParseNumber(text.substr(first + 1), inode);
    }
    rest = text.substr(second + 1);
    return ParseNumber(text.substr(first + 1, second - first - 1), inode);
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::string JournalHeader(const std::string& target, uint64_t device, uint64_t inode, const std::string& staging) {
    return std::string(kMagic) + "\nT " + Escape(target) + "\nI " + std::to_string(device) + " " +
           std::to_string(inode) + "\nS " + Escape(staging) + "\n";
}

std::string JournalStepLine(StepKind kind, const std::string& path) {
    std::string line(1, static_cast<char>(kind));
    line += ' ';
    line += Escape(path);
    line += '\n';
    return line;
}

std::string JournalWriteLine(const std::string& temporary, const std::string& destination) {
    return "W " + Escape(temporary) + " " + Escape(destination) + "\n";
}

std::string JournalExchangeLine(const std::string& temporary, const std::string& destination) {
    return "X " + Escape(temporary) + " " + Escape(destination) + "\n";
}

std::string JournalIdentityLine(StepKind kind, uint64_t device, uint64_t inode, const std::string& path) {
    return std::string(kind == StepKind::MakeDirectory ? "d " : "P ") + std::to_string(device) + " " +
           std::to_string(inode) + " " + Escape(path) + "\n";
}

std::string JournalKeptLine(const std::string& keptDirectory) { return "G " + Escape(keptDirectory) + "\n"; }

std::string JournalTakeBackLine(const std::string& prefix, uint64_t first, const std::string& record) {
    return "U " + Escape(prefix) + " " + std::to_string(first) + " " + Escape(record) + "\n";
}

std::string JournalRemoveAfterCommitLine(uint64_t device, uint64_t inode, const std::string& path) {
    return "Z " + std::to_string(device) + " " + std::to_string(inode) + " " + Escape(path) + "\n";
}

std::string JournalCommitLine() { return "C\n"; }

std::string EscapePath(const std::string& path) { return Escape(path); }

bool UnescapePath(std::string_view text, std::string& path) { return Unescape(text, path); }

bool ParseDecimal(const std::string& text, uint64_t& value) { return ParseNumber(text, value); }

namespace {

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    // Whatever follows the last line feed is a record the process did not finish.
    return lines;
}

bool ParseHeader(const std::vector<std::string>& lines, ParsedJournal& journal) {
    if (lines.size() < 4 || lines[0] != kMagic) return false;
    if (lines[1].compare(0, 2, "T ") != 0 || !Unescape(lines[1].substr(2), journal.target)) return false;
    std::string rest;
    if (lines[2].compare(0, 2, "I ") != 0 ||
        !SplitIdentity(lines[2].substr(2), journal.targetDevice, journal.targetInode, rest) || !rest.empty()) {
        return false;
    }
    if (lines[3].compare(0, 2, "S ") != 0 || !Unescape(lines[3].substr(2), journal.staging)) return false;
    return IsPlainAbsolute(journal.target) && journal.target.back() == '/' && IsPlainAbsolute(journal.staging) &&
           journal.staging.back() == '/';
}

// G: the kept originals' directory, once.
bool ParseKept(const std::string& body, ParsedJournal& journal) {
    return journal.kept.empty() && Unescape(body, journal.kept) && IsPlainAbsolute(journal.kept) &&
           journal.kept.back() == '/';
}

// U: the take-back after the commit, once.
bool ParseTakeBack(const std::string& body, ParsedJournal& journal) {
    const size_t first = body.find(' ');
    const size_t second = first == std::string::npos ? first : body.find(' ', first + 1);
    return second != std::string::npos && journal.takeBackRecord.empty() &&
           Unescape(body.substr(0, first), journal.takeBackPrefix) && IsPlainName(journal.takeBackPrefix) &&
           ParseDecimal(body.substr(first + 1, second - first - 1), journal.takeBackFirst) &&
           Unescape(body.substr(second + 1), journal.takeBackRecord) && IsPlainName(journal.takeBackRecord);
}

// Z: a directory to remove after the commit, below the template directory or itself.
bool ParseRemoveAfterCommit(const std::string& body, ParsedJournal& journal) {
    DirectoryToRemove directory;
    std::string escaped;
    if (!SplitIdentity(body, directory.device, directory.inode, escaped) || !Unescape(escaped, directory.path) ||
        !IsPlainAbsolute(directory.path) ||
        (directory.path + "/" != journal.target && !BelowTarget(directory.path, journal.target))) {
        return false;
    }
    journal.removeAfterCommit.push_back(std::move(directory));
    return true;
}

// d and P: the identity of what the latest step of that path made.
bool ParseIdentity(char type, const std::string& body, ParsedJournal& journal) {
    const StepKind kind = type == 'd' ? StepKind::MakeDirectory : StepKind::WriteFile;
    uint64_t device = 0;
    uint64_t inode = 0;
    std::string escaped;
    std::string path;
    if (!SplitIdentity(body, device, inode, escaped) || !Unescape(escaped, path)) return false;
    for (auto step = journal.steps.rbegin(); step != journal.steps.rend(); ++step) {
        const bool made = step->kind == kind || (kind == StepKind::WriteFile && step->kind == StepKind::ExchangeFile);
        if (!made || step->path != path) continue;
        step->identified = true;
        step->device = device;
        step->inode = inode;
        return true;
    }
    return false;
}

// D, M, W and X: a step, only where the journal may touch.
bool ParseStep(char type, const std::string& body, ParsedJournal& journal) {
    JournalStep step(static_cast<StepKind>(type), std::string());
    if (step.kind == StepKind::WriteFile || step.kind == StepKind::ExchangeFile) {
        const size_t space = body.find(' ');
        if (space == std::string::npos || !Unescape(body.substr(0, space), step.temporary) ||
            !IsPlainName(step.temporary) || !Unescape(body.substr(space + 1), step.path)) {
            return false;
        }
    } else if (!Unescape(body, step.path)) {
        return false;
    }
    if (!IsPlainAbsolute(step.path)) return false;
    switch (step.kind) {
        case StepKind::MakeDirectory:
            if (!BelowTarget(step.path, journal.target) && !OnTheWayToTarget(step.path, journal.target)) return false;
            break;
        case StepKind::MoveToBackup:
        case StepKind::WriteFile:
        case StepKind::ExchangeFile:
            if (!BelowTarget(step.path, journal.target)) return false;
            break;
        default:
            return false;
    }
    journal.steps.push_back(std::move(step));
    return true;
}

}  // namespace

bool ParseJournal(const std::string& text, ParsedJournal& journal) {
    journal = ParsedJournal();
    const std::vector<std::string> lines = LinesOf(text);
    if (!ParseHeader(lines, journal)) return false;
    for (size_t n = 4; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (journal.committed) return false;  // nothing follows the commit
        if (line == "C") {
            journal.committed = true;
            continue;
        }
        if (line.size() < 3 || line[1] != ' ') return false;
        const std::string body = line.substr(2);
        const bool parsed = line[0] == 'G'                     ? ParseKept(body, journal)
                            : line[0] == 'Z'                   ? ParseRemoveAfterCommit(body, journal)
                            : line[0] == 'U'                   ? ParseTakeBack(body, journal)
                            : line[0] == 'd' || line[0] == 'P' ? ParseIdentity(line[0], body, journal)
                                                               : ParseStep(line[0], body, journal);
        if (!parsed) return false;
    }
    return true;
}

}  // namespace vxk5
