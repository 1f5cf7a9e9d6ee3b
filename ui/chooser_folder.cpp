#include "ui/chooser_folder.h"

#include <string>

#include "base/conversion.h"
#include "platform/directory_probe.h"
#include "platform/file_entries.h"
#include "config/target_path.h"

namespace vxk5 {

namespace {

bool IsDirectoryBytes(const std::string& path) { return IsDirectory(FromMultiByte(AString(path.c_str(), path.length()))); }

}  // namespace

AString ChooserStartFolder(const WString& entryText) {
    WString text = entryText;
    ReplaceAll(text, u"\\", u"/");
    if (text.empty()) return AString();
    const AString bytes = ToMultiByte(ExpandHomePrefix(TrimBlanks(text)));
    std::string path(bytes.c_str(), bytes.length());
    if (path.empty() || path[0] != '/') {
        const std::string cwd = CurrentDirectory();
        if (cwd.empty()) return AString("/");
        path = cwd + "/" + path;
    }
    // Up one level at a time until a directory exists; "/" always does.
    while (path.length() > 1 && !IsDirectoryBytes(path)) {
        while (path.length() > 1 && path.back() == '/') path.pop_back();
        const size_t slash = path.rfind('/');
        path.resize(slash == 0 ? 1 : slash);
    }
    return AString(path.c_str(), path.length());
}

}  // namespace vxk5
