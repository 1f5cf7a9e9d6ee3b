#include "run/target_check.h"

#include "base/conversion.h"
#include "platform/directory_probe.h"

namespace vxk5 {

bool IsUsableTarget(const WString& path) {
    if (path.empty() || path[0] != u'/') return false;
    // "file/" names the file: stat would only say "not a directory" and the
    // walk would step over it.
    WString probe = path;
    while (probe.length() > 1 && probe.EndsWith(u'/')) probe = probe.substr(0, probe.length() - 1);
    while (!probe.empty()) {
        const DirectoryProbe found = ProbeDirectory(probe);
        if (found != DirectoryProbe::Missing) return found == DirectoryProbe::Usable;
        // Missing (or under something that is no directory): look further up,
        // where the file in the way, or the directory to make it in, is found.
        if (probe == u"/") return false;
        probe = ParentPath(probe);
    }
    return false;
}

}  // namespace vxk5
