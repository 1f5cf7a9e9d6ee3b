#include "config/target_path.h"

#include "base/conversion.h"
#include "platform/file_entries.h"
#include "platform/file_system.h"
#include "platform/user_accounts.h"

namespace vxk5 {

namespace {

bool CurrentDirectoryPath(WString& directory) {
    const std::string cwd = vxk5::CurrentDirectory();
    if (cwd.empty() || cwd[0] != '/') return false;  // also "(unreachable)/..."
    directory = FromMultiByte(AString(cwd.c_str()));
    return true;
}

// The home directory the password database gives `user`; false when it knows
// no such user or gives none.
bool UserHome(const AString& user, WString& home) {
    home = HomeDirectoryOf(user);
    return !home.empty();
}

}  // namespace

WString ExpandHomePrefix(const WString& path, bool* unknownUser) {
    if (unknownUser != nullptr) *unknownUser = false;
    if (path.empty() || path[0] != u'~') return path;
    size_t slash = path.find(u'/');
    if (slash == WString::npos) slash = path.length();
    WString home;
    if (slash == 1) {
        home = GetHomeDirectory();
    } else if (!UserHome(ToMultiByte(path.substr(1, slash - 1)), home)) {
        if (unknownUser != nullptr) *unknownUser = true;
        return path;
    }
    while (home.length() > 1 && home.EndsWith(u'/')) home = home.substr(0, home.length() - 1);
    if (home.empty()) return path;
    const WString rest = path.substr(slash);  // "" or "/..."
    if (home == u"/") return rest.empty() ? home : rest;
    return home + rest;
}

bool ResolveTargetPath(const WString& path, WString& absolute) {
    bool unknownUser = false;
    WString expanded = ExpandHomePrefix(path, &unknownUser);
    if (unknownUser) return false;
    if (expanded.empty() || expanded[0] == u'/') {
        absolute = expanded;
        return true;
    }
    WString directory;
    if (!CurrentDirectoryPath(directory)) return false;
    if (!directory.EndsWith(u'/')) directory = directory + u'/';
    absolute = directory + expanded;
    return true;
}

WString TrimBlanks(const WString& text) {
    const auto blank = [](char16_t unit) { return unit == u' ' || unit == u'\t' || unit == u'\u00A0'; };
    size_t begin = 0;
    size_t end = text.length();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace vxk5
