#include "install/journal_format.h"

namespace vxk5 {

namespace {

constexpr char kMagic[] = "vxk5-journal 1";

bool NeedsEscape(unsigned char byte) { return byte == '%' || byte < 0x20 || byte == 0x7F; }

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

bool Unescape(const std::string& text, std::string& path) {
    path.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            if (NeedsEscape(static_cast<unsigned char>(text[i]))) return false;
            path += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
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

}  // namespace

std::string JournalHeader(const std::string& target, const std::string& backup) {
    return std::string(kMagic) + "\nT " + Escape(target) + "\nB " + Escape(backup) + "\n";
}

std::string JournalStepLine(StepKind kind, const std::string& path) {
    std::string line(1, static_cast<char>(kind));
    line += ' ';
    line += Escape(path);
    line += '\n';
    return line;
}

std::string JournalCommitLine() { return "C\n"; }

bool ParseJournal(const std::string& text, ParsedJournal& journal) {
    journal = ParsedJournal();
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    // Whatever follows the last line feed is a record the process did not finish.
    if (lines.size() < 3 || lines[0] != kMagic) return false;
    if (lines[1].compare(0, 2, "T ") != 0 || !Unescape(lines[1].substr(2), journal.target)) return false;
    if (lines[2].compare(0, 2, "B ") != 0 || !Unescape(lines[2].substr(2), journal.backup)) return false;
    if (!IsPlainAbsolute(journal.target) || journal.target.back() != '/') return false;
    if (!IsPlainAbsolute(journal.backup) || journal.backup.back() != '/') return false;
    for (size_t n = 3; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (journal.committed) return false;  // nothing follows the commit
        if (line == "C") {
            journal.committed = true;
            continue;
        }
        if (line.size() < 3 || line[1] != ' ') return false;
        JournalStep step{static_cast<StepKind>(line[0]), std::string()};
        if (!Unescape(line.substr(2), step.path) || !IsPlainAbsolute(step.path)) return false;
        switch (step.kind) {
            case StepKind::MakeDirectory:
                if (!BelowTarget(step.path, journal.target) && !OnTheWayToTarget(step.path, journal.target)) {
                    return false;
                }
                break;
            case StepKind::MoveToBackup:
            case StepKind::WriteFile:
                if (!BelowTarget(step.path, journal.target)) return false;
                break;
            default:
                return false;
        }
        journal.steps.push_back(std::move(step));
    }
    return true;
}

}  // namespace vxk5
