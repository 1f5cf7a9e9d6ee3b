#include "kit/entry_names.h"

#include <climits>
#include <string>
#include <unordered_map>

#include "base/conversion.h"

namespace vxk5 {

namespace {

bool IsSeparator(char16_t unit) { return unit == u'/' || unit == u'\\'; }
bool IsAsciiLetter(char16_t unit) { return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z'); }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The checks on the units themselves, before any conversion.
EntryNameCheck CheckUnits(const WString& name) {
    const size_t length = name.length();
    if (length == 0) return ENTRY_NAME_EMPTY;
    for (size_t i = 0; i < length; ++i) {
        const char16_t unit = name[i];
        if (unit == 0) return ENTRY_NAME_ZERO_UNIT;
        if (IsHighSurrogate(unit)) {
            if (i + 1 < length && IsLowSurrogate(name[i + 1])) {
                ++i;
                continue;
            }
            return ENTRY_NAME_UNPAIRED_SURROGATE;
        }
        // Also the units U+DC80..U+DCFF, which stand for undecodable bytes of
        // names read from a directory: a kit's name is text, not bytes.
        if (IsLowSurrogate(unit)) return ENTRY_NAME_UNPAIRED_SURROGATE;
    }
    if (IsSeparator(name[0])) return ENTRY_NAME_ABSOLUTE;
    if (length >= 2 && name[1] == u':' && IsAsciiLetter(name[0])) return ENTRY_NAME_ABSOLUTE;
    return ENTRY_NAME_OK;
}

// Splits and converts; the units have passed CheckUnits.
EntryNameCheck BuildPath(const WString& name, size_t directoryBytes, AString& path) {
    const size_t length = name.length();
    AString built;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && !IsSeparator(name[i])) continue;
        const size_t size = i - start;
        const bool dot = size == 1 && name[start] == u'.';
        const bool dotDot = size == 2 && name[start] == u'.' && name[start + 1] == u'.';
        if (dotDot) return ENTRY_NAME_DOT_DOT;
        if (i == length && (size == 0 || dot)) return ENTRY_NAME_NOT_A_FILE_NAME;
        if (size != 0 && !dot) {
            AString component;
            if (!ToMultiByteWhole(name.substr(start, size), component)) return ENTRY_NAME_NOT_ENCODABLE;
            if (component.length() > NAME_MAX) return ENTRY_NAME_COMPONENT_TOO_LONG;
            if (!built.empty()) built += "/";
            built += component;
        }
        start = i + 1;
    }
    // PATH_MAX counts the terminating 0 byte.
    if (directoryBytes >= PATH_MAX || built.length() >= PATH_MAX - directoryBytes) return ENTRY_NAME_PATH_TOO_LONG;
    path = built;
    return ENTRY_NAME_OK;
}

EntryNameCheck CheckAndBuild(const WString& name, size_t directoryBytes, AString& path) {
    const EntryNameCheck units = CheckUnits(name);
    if (units != ENTRY_NAME_OK) return units;
    return BuildPath(name, directoryBytes, path);
}

}  // namespace

EntryNameCheck CheckEntryName(const WString& name, size_t directoryBytes) {
    AString path;
    return CheckAndBuild(name, directoryBytes, path);
}

bool EntryNamePath(const WString& name, AString& path) {
    AString built;
    if (CheckAndBuild(name, 0, built) != ENTRY_NAME_OK) return false;
    path = built;
    return true;
}

std::vector<EntryNameProblem> FindEntryNameProblems(const std::vector<KitFileEntry>& entries, size_t directoryBytes) {
    std::vector<EntryNameProblem> problems;
    std::vector<std::string> paths(entries.size());
    std::vector<bool> usable(entries.size(), false);
    // Every directory the kit's files lie in, with the first entry below it.
    std::unordered_map<std::string, size_t> directories;
    for (size_t i = 0; i < entries.size(); ++i) {
        AString path;
        const EntryNameCheck check = CheckAndBuild(entries[i].name, directoryBytes, path);
        if (check != ENTRY_NAME_OK) {
            problems.push_back(EntryNameProblem{i, check, 0});
            continue;
        }
        usable[i] = true;
        paths[i].assign(path.c_str(), path.length());
        for (size_t slash = paths[i].find('/'); slash != std::string::npos; slash = paths[i].find('/', slash + 1)) {
            directories.emplace(paths[i].substr(0, slash), i);
        }
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!usable[i]) continue;
        const auto directory = directories.find(paths[i]);
        if (directory != directories.end()) {
            problems.push_back(EntryNameProblem{i, ENTRY_NAME_FILE_AND_DIRECTORY, directory->second});
        }
    }
    return problems;
}

EntryNameCheck CheckEntryNames(const std::vector<KitFileEntry>& entries, size_t& index, size_t directoryBytes) {
    const std::vector<EntryNameProblem> problems = FindEntryNameProblems(entries, directoryBytes);
    if (problems.empty()) return ENTRY_NAME_OK;
    // The problem of the earliest entry: the installer stops there.
    const EntryNameProblem* first = &problems.front();
    for (const EntryNameProblem& problem : problems) {
        if (problem.index < first->index) first = &problem;
    }
    index = first->index;
    return first->check;
}

const char* DescribeEntryNameCheck(EntryNameCheck check) {
    switch (check) {
        case ENTRY_NAME_OK: return "a usable name";
        case ENTRY_NAME_EMPTY: return "an empty name";
        case ENTRY_NAME_ZERO_UNIT: return "a zero character in the name";
        case ENTRY_NAME_UNPAIRED_SURROGATE: return "an unpaired UTF-16 surrogate in the name";
        case ENTRY_NAME_NOT_ENCODABLE: return "a character the file system's encoding cannot hold";
        case ENTRY_NAME_ABSOLUTE: return "an absolute name";
        case ENTRY_NAME_DOT_DOT: return "a '..' component";
        case ENTRY_NAME_NOT_A_FILE_NAME: return "no file name at its end";
        case ENTRY_NAME_COMPONENT_TOO_LONG: return "a component longer than the file system allows";
        case ENTRY_NAME_PATH_TOO_LONG: return "a path longer than the file system allows";
        case ENTRY_NAME_FILE_AND_DIRECTORY: return "a file that another entry needs as its directory";
    }
    return "an unusable name";
}

}  // namespace vxk5
