#include "run/kit_location.h"

#include <string>

#include "base/conversion.h"
#include "platform/file_entries.h"
#include "platform/own_executable.h"

namespace vxk5 {

WString LocateKit(KitPlace place) {
    AString directory;
    if (place == KitPlace::CurrentDirectory) {
        const std::string cwd = CurrentDirectory();
        if (cwd.empty()) return WString();
        directory = AString(cwd.c_str());
    } else if (!OwnExecutableDirectory(directory)) {
        return WString();
    }
    directory += "/";
    directory += kKitFileName;
    return FromMultiByte(directory);
}

}  // namespace vxk5
