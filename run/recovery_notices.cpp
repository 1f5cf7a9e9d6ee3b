#include "run/recovery_notices.h"

#include <cstdio>

#include "base/conversion.h"

namespace vxk5 {

void TellRecoveries(const std::vector<RecoveryReport>& reports, const NoticeSink& tell, RunSummary& summary) {
    for (const RecoveryReport& report : reports) {
        if (RecoveryFailed(report)) summary.recoveryFailed = true;
        if (report.outcome == RecoveryReport::Outcome::Unreadable) {
            std::fprintf(stderr, "vxk5-setup: %s\n", ToMultiByte(RecoveryMessage(report)).c_str());
            std::fflush(stderr);
            continue;
        }
        // Without a display the box is one line on standard error.
        tell(RecoveryMessage(report), RecoveryFailed(report) ? NoticeKind::Error : NoticeKind::Plain);
        ++summary.recoveredAtStart;
    }
}

}  // namespace vxk5
