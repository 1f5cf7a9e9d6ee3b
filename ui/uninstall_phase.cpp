// The uninstall wizard's course: interrupted operations recovered, the
// latest recorded installation judged by a dry run and asked about, then
// taken back on a worker thread under the progress page, and the end page.

#include "ui/installer_dlg.h"

#include "base/conversion.h"
#include "base/result_codes.h"
#include "install/recovery.h"
#include "lang/messages.h"
#include "platform/termination_requests.h"
#include "run/recovery_notices.h"
#include "run/uninstall_summary.h"
#include "ui/message_box.h"
#include "ui/uninstall_texts.h"

namespace vxk5 {

void CInstallerDlg::RunUninstallWizard() {
    summary_.uninstall = true;
    summary_.dryRun = false;
    // Told in boxes before anything else: the record may name files a
    // recovery has just put back.
    TellRecoveries(RecoverInterruptedInstalls(), Notices(), summary_);
    const WString directory = DirectoryToUninstall(uninstallRequest_.directory);
    summary_.templateDirectory = directory;
    UninstallOptions judge;
    judge.directory = directory;
    judge.dryRun = true;
    if (!AskToUninstall(RunUninstallEngine(judge), directory) || TerminationPending()) return;
    const UninstallResult result = TakeBackInstallation(directory);
    SummariseUninstall(result, false, summary_);
    if (result.outcome == UninstallOutcome::Uninstalled) ForgetRemovedTemplate(result);
    ShowUninstallEnd(result);
    if (TerminationPending()) {
        DestroyWindow();
    } else if (window_ != nullptr) {
        gtk_main();  // until Finish
    }
}

UninstallResult CInstallerDlg::RunUninstallEngine(const UninstallOptions& options) const {
    return uninstallEngine_ ? uninstallEngine_(options) : RunUninstall(options);
}

bool CInstallerDlg::AskToUninstall(const UninstallResult& plan, const WString& directory) {
    const WString shown = plan.target.empty() ? directory : FromMultiByte(plan.target);
    if (plan.outcome == UninstallOutcome::NothingToUninstall) {
        SummariseUninstall(plan, false, summary_);
        MessageBox(this, LoadResString("IDS_UNINSTALL_NOTHING"), MB_STYLE_PLAIN_OK, shown);
        return false;
    }
    if (plan.outcome == UninstallOutcome::Failed) {
        SummariseUninstall(plan, false, summary_);
        const WString reason = UninstallFailureReason(plan);
        MessageBox(this, LoadResString("IDS_UNINSTALL_ERROR"), MB_STYLE_ERROR_OK, reason.empty() ? shown : reason);
        return false;
    }
    if (MessageBox(this, UninstallQuestionText(plan), MB_STYLE_QUESTION_YESNO, shown) == MB_RESULT_YES) return true;
    // As a cancelled installation: nothing changed, and the exit status says so.
    summary_.outcome = RunOutcome::Cancelled;
    summary_.messageKey.clear();
    summary_.detail = "the uninstall was cancelled; the template directory has not been changed";
    return false;
}

UninstallResult CInstallerDlg::TakeBackInstallation(const WString& directory) {
    if (window_ == nullptr) BuildWindow();
    ShowUninstallProgress();
    signalsHeld_ = true;  // a termination signal waits for the transaction's end
    UninstallOptions options;
    options.directory = directory;
    bool started = false;
    {
        ScopedTerminationBlock block;  // the worker ignores Ctrl-C
        started = StartUninstallWorker(uninstallWorker_, jobState_, options,
                                       [this](const UninstallOptions& given) { return RunUninstallEngine(given); });
    }
    UninstallResult result;
    if (started) {
        (void)AwaitJob();
        uninstallWorker_.Join();
        result = uninstallWorker_.result;
    } else {
        result.code = ERR_INVALID_PARAMETER;  // outcome Failed: nothing was touched
    }
    signalsHeld_ = false;
    inCopyingPhase_ = false;
    return result;
}

}  // namespace vxk5
