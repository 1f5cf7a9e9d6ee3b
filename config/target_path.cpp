#include "config/target_path.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include <cstdlib>
#include <memory>

#include "base/conversion.h"
#include "platform/file_system.h"

namespace vxk5 {

namespace {

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};

bool CurrentDirectory(WString& directory) {
    const std::unique_ptr<char, FreeDeleter> cwd(::getcwd(nullptr, 0));
    if (cwd == nullptr || cwd.get()[0] != '/') return false;  // also "(unreachable)/..."
    directory = FromMultiByte(AString(cwd.get()));
    return true;
}

// The home directory the password database gives `user`; false when it knows
// no such user or gives none.
bool UserHome(const AString& user, WString& home) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    struct passwd entry;
    struct passwd* found = nullptr;
    while (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == 0) return false;
    home = FromMultiByte(AString(found->pw_dir));
    return true;
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
    if (!CurrentDirectory(directory)) return false;
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
