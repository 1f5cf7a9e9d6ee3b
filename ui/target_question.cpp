#include "ui/target_question.h"

#include <string>

#include "base/conversion.h"
#include "platform/file_entries.h"
#include "platform/file_system.h"

namespace vxk5 {

namespace {

// The directory's identity on disk. "/." makes lstat follow a link to a
// directory, as any use of the path would.
bool IdentityOfDirectory(const std::string& path, EntryIdentity& identity) {
    if (path.empty()) return false;
    EntryStatus status;
    if (ExamineEntry(path + "/.", status).Failed() || status.kind != EntryKind::Directory) return false;
    identity = status.stamp.identity;
    return true;
}

std::string Bytes(const WString& path) {
    const AString bytes = ToMultiByte(path);
    return std::string(bytes.c_str(), bytes.length());
}

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

}  // namespace

WString WithoutDotComponents(const WString& path) {
    WString result;
    size_t begin = 0;
    while (begin <= path.length()) {
        size_t end = path.find(u'/', begin);
        if (end == WString::npos) end = path.length();
        const WString component = path.substr(begin, end - begin);
        const bool last = end == path.length();
        if (component != u".") {
            result = result + component;
            if (!last) result = result + u"/";
        } else if (last && result.length() > 1 && result.EndsWith(u'/')) {
            result = result.substr(0, result.length() - 1);  // "/a/." is "/a", not "/a/"
        }
        begin = end + 1;
    }
    return result.empty() && !path.empty() ? WString(u".") : result;
}

bool IsStartOrHomeDirectory(const WString& directory, const WString& kitPath) {
    EntryIdentity target;
    if (!IdentityOfDirectory(Bytes(directory), target)) return false;
    for (const std::string& place : {Bytes(GetHomeDirectory()), CurrentDirectory(), FolderOf(Bytes(kitPath))}) {
        EntryIdentity identity;
        if (IdentityOfDirectory(place, identity) && identity == target) return true;
    }
    return false;
}

}  // namespace vxk5
