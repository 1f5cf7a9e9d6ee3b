#include "run/failure_reason.h"

#include <cstring>

#include "base/conversion.h"
#include "base/failure.h"
#include "lang/messages.h"

namespace vxk5 {

WString DescribeFailure(const FailureDetail& detail) {
    WString reason;
    if (detail.error == kChangedMeanwhile) {
        reason = LoadResString("IDS_ERROR_CHANGED");
    } else if (detail.error != 0) {
        char buffer[256];
        // The GNU strerror_r: the text may be in `buffer` or a static string.
        reason = FromMultiByte(AString(strerror_r(detail.error, buffer, sizeof buffer)));
    }
    const WString path = FromMultiByte(detail.path);
    if (path.empty()) return reason;
    if (reason.empty()) return path;
    return path + u": " + reason;
}

}  // namespace vxk5
