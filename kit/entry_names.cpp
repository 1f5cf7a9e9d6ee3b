#include "kit/entry_names.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/conversion.h"
#include "platform/path_limit.h"

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
        // A doubled separator or a "." component names nothing: two names
        // of one file would look like two files to whoever reads the kit.
        if (size == 0 || dot) return i == length ? ENTRY_NAME_NOT_A_FILE_NAME : ENTRY_NAME_HOLLOW_COMPONENT;
        AString component;
        if (!ToMultiByteWhole(name.substr(start, size), component)) return ENTRY_NAME_NOT_ENCODABLE;
        if (component.length() > kMaxNameBytes) return ENTRY_NAME_COMPONENT_TOO_LONG;
        if (!built.empty()) built += "/";
        built += component;
        start = i + 1;
    }
    // The limit counts the terminating 0 byte.
    if (directoryBytes >= kMaxPathBytes || built.length() >= kMaxPathBytes - directoryBytes) return ENTRY_NAME_PATH_TOO_LONG;
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
    // A kit may hold a million entries: each file's path is kept as a hash
    // only, and built again for the rare file whose hash is a directory's.
    std::vector<uint64_t> hashes(entries.size());
    std::vector<bool> usable(entries.size(), false);
    // Every directory the kit's files lie in, with the first entry below it.
    std::unordered_map<std::string, size_t> directories;
    const std::hash<std::string_view> hash;
    for (size_t i = 0; i < entries.size(); ++i) {
        AString built;
        const EntryNameCheck check = CheckAndBuild(entries[i].name, directoryBytes, built);
        if (check != ENTRY_NAME_OK) {
            problems.push_back(EntryNameProblem{i, check, 0});
            continue;
        }
        usable[i] = true;
        const std::string_view path(built.c_str(), built.length());
        hashes[i] = hash(path);
        for (size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', slash + 1)) {
            directories.emplace(std::string(path.substr(0, slash)), i);
        }
    }
    std::unordered_set<uint64_t> directoryHashes;
    for (const auto& directory : directories) directoryHashes.insert(hash(directory.first));
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!usable[i] || directoryHashes.count(hashes[i]) == 0) continue;
        AString built;
        (void)CheckAndBuild(entries[i].name, directoryBytes, built);  // usable: it builds as before
        const auto directory = directories.find(std::string(built.c_str(), built.length()));
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
        case ENTRY_NAME_HOLLOW_COMPONENT: return "an empty or '.' component";
    }
    return "an unusable name";
}

}  // namespace vxk5
