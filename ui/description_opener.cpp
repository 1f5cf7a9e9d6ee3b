#include "ui/description_opener.h"

#include "platform/utility_process.h"

namespace vxk5 {

bool OpenWithDesktop(const AString& path, const char* opener) {
    // The opener takes no "--"; a relative path that starts with "-" is made
    // to start with "./" so it cannot be read as an option.
    AString argument = path;
    if (!argument.empty() && argument[0] == '-') argument = AString("./") + argument;
    return RunUtility({AString(opener), argument}, ErrorOutput::Discard) != kUtilityNotStarted;
}

}  // namespace vxk5
