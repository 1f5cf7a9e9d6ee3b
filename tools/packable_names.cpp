#include "tools/packable_names.h"

#include <cstdio>
#include <string_view>

#include "base/conversion.h"
#include "install/reserved_names.h"
#include "kit/entry_names.h"

namespace vxk5 {

namespace {

bool HasUndecodableByte(const WString& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsEscapedByte(name[i])) return true;
    }
    return false;
}

// Why the installer refuses the name, or "" when it takes it.
std::string RefusalOf(const WString& name, EntryNameCheck check) {
    if (HasUndecodableByte(name)) {
        return ConversionIsUtf8() ? "its name is not valid UTF-8" : "its name is not text in the locale's encoding";
    }
    if (check != ENTRY_NAME_OK) return std::string("its name has ") + DescribeEntryNameCheck(check);
    AString path;
    if (EntryNamePath(name, path) && HasReservedComponent(std::string_view(path.c_str(), path.length()))) {
        return "its name has a form the installer keeps for its own work (.k5stp...)";
    }
    return std::string();
}

}  // namespace

std::string ShownName(const WString& name) {
    std::string shown;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsEscapedByte(name[i])) continue;
        shown += ToMultiByteString(name.substr(start, i - start));
        if (i < name.size()) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(name[i] - 0xDC00));
            shown += escape;
        }
        start = i + 1;
    }
    return shown;
}

bool CheckPackableNames(const std::vector<KitFileEntry>& entries, const std::string& sourceDirectory,
                        std::string& error) {
    std::vector<EntryNameCheck> checks(entries.size(), ENTRY_NAME_OK);
    for (const EntryNameProblem& problem : FindEntryNameProblems(entries)) {
        if (checks[problem.index] == ENTRY_NAME_OK) checks[problem.index] = problem.check;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string refusal = RefusalOf(entries[i].name, checks[i]);
        if (refusal.empty()) continue;
        WString path = entries[i].name;
        ReplaceAll(path, u"\\", u"/");
        error = "cannot pack " + sourceDirectory + "/" + ShownName(path) + ": " + refusal +
                ", and the installer would refuse the kit; nothing was written";
        return false;
    }
    return true;
}

}  // namespace vxk5
