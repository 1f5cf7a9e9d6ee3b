// Where the kit is: beside the executable, or in the current directory.

#include "ui/installer_dlg.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "base/conversion.h"

namespace vxk5 {

namespace {

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};

constexpr size_t kLinkBufferSize = 260;

}  // namespace

WString CInstallerDlg::LocateKit() const {
    AString directory;
    if (usecwd_) {
        const std::unique_ptr<char, FreeDeleter> cwd(getcwd(nullptr, 0));
        if (!cwd) return WString();
        directory = AString(cwd.get());
    } else {
        char buffer[kLinkBufferSize] = {};
        const ssize_t length = readlink("/proc/self/exe", buffer, kLinkBufferSize);
        // A path that fills the buffer may have been cut: no path rather than a wrong one.
        if (length <= 0 || static_cast<size_t>(length) >= kLinkBufferSize) return WString();
        const AString target(buffer, static_cast<size_t>(length));
        const size_t slash = target.rfind('/');
        directory = slash == AString::npos ? target : target.substr(0, slash);
    }
    directory += "/";
    directory += kKitFileName;
    return FromMultiByte(directory);
}

}  // namespace vxk5
