// The uninstall wizard's pages: the progress page while the worker runs, and
// the end page with what was removed, restored and kept, or why it failed.

#include "ui/installer_dlg.h"

#include "lang/messages.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"
#include "ui/uninstall_texts.h"

namespace vxk5 {

void CInstallerDlg::ShowUninstallProgress() {
    inCopyingPhase_ = true;
    state_ = StateCopying;  // Cancel, Escape and a close request wait, as while copying
    if (layout_ == nullptr) return;
    if (!progressPage_) {
        ProgressTexts texts;
        texts.running = "IDS_UNINSTALL_PROGRESS";
        texts.complete = "IDS_UNINSTALL_PROGRESS";
        texts.barName = "IDS_UNINSTALL_CAPTION";
        progressPage_ = std::make_unique<ProgressPage>(layout_, texts);
    }
    gtk_widget_set_sensitive(back_, FALSE);
    gtk_widget_set_sensitive(next_, FALSE);
    gtk_widget_set_sensitive(cancel_, FALSE);
    ShowPage(progressPage_.get());
}

void CInstallerDlg::ShowUninstallEnd(const UninstallResult& result) {
    state_ = StateUninstalled;
    if (layout_ == nullptr) return;
    WString text;
    if (result.outcome == UninstallOutcome::Uninstalled) {
        text = UninstallEndText(result);
    } else {
        text = UninstallFailedPageText(result);
    }
    if (!uninstallEndPage_) uninstallEndPage_ = std::make_unique<MessagePage>(layout_, banner_.get(), text);
    uninstallEndPage_->SetText(text);
    SetFinishButtons();
    ShowPage(uninstallEndPage_.get());
    gtk_widget_grab_focus(next_);  // Enter finishes
}

}  // namespace vxk5
