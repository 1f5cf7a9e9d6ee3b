#include "ui/target_path.h"

#include <unistd.h>

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

}  // namespace

WString ExpandHomePrefix(const WString& path) {
    if (path.empty() || path[0] != u'~') return path;
    if (path.length() > 1 && path[1] != u'/') return path;  // "~user/..." is left alone
    WString home = GetHomeDirectory();
    while (home.length() > 1 && home.EndsWith(u'/')) home = home.substr(0, home.length() - 1);
    if (home.empty()) return path;
    if (home == u"/") return path.length() == 1 ? home : path.substr(1);
    return home + path.substr(1);
}

bool ResolveTargetPath(const WString& path, WString& absolute) {
    WString expanded = ExpandHomePrefix(path);
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

}  // namespace vxk5
