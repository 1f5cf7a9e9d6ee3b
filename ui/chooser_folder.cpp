#include "ui/chooser_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "base/conversion.h"
#include "platform/file_system.h"
#include "config/target_path.h"

namespace vxk5 {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

}  // namespace

AString ChooserStartFolder(const WString& entryText) {
    WString text = entryText;
    ReplaceAll(text, u"\\", u"/");
    if (text.empty()) return AString();
    const AString bytes = ToMultiByte(ExpandHomePrefix(TrimBlanks(text)));
    std::string path(bytes.c_str(), bytes.length());
    if (path.empty() || path[0] != '/') {
        const std::unique_ptr<char, FreeDeleter> cwd(::getcwd(nullptr, 0));
        if (!cwd) return AString("/");
        path = std::string(cwd.get()) + "/" + path;
    }
    // Up one level at a time until a directory exists; "/" always does.
    while (path.length() > 1 && !IsDirectory(path)) {
        while (path.length() > 1 && path.back() == '/') path.pop_back();
        const size_t slash = path.rfind('/');
        path.resize(slash == 0 ? 1 : slash);
    }
    return AString(path.c_str(), path.length());
}

}  // namespace vxk5
