// The controller's life: construction, the run, and the way out.

#include "ui/installer_dlg.h"

#include <cstdio>

#include "lang/messages.h"
#include "ui/dir_select_page.h"
#include "ui/message_box.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"
#include "ui/success_final_page.h"
#include "ui/termination_signals.h"

namespace vxk5 {

CInstallerDlg::CInstallerDlg(int32_t argumentCount, char** argumentVector, bool silent, const AString& caption,
                             const WString& languageCode, bool usecwd)
    : silent_(silent),
      languageCode_(languageCode),
      usecwd_(usecwd),
      argumentCount_(argumentCount),
      argumentVector_(argumentVector),
      title_(caption) {
    signals_ = std::make_unique<TerminationSignals>();
    // Without a display GTK stays down; a silent run goes on without it.
    gtkReady_ = gtk_init_check(&argumentCount_, &argumentVector_) != FALSE;
    if (gtkReady_) {
        // Every table is written left to right (the Arabic one holds the English
        // texts) and the layout is fixed: no window or dialog is mirrored.
        gtk_widget_set_default_direction(GTK_TEXT_DIR_LTR);
        signals_->WatchFromMainLoop([](void* self) { static_cast<CInstallerDlg*>(self)->OnTerminationSignal(); },
                                    this);
    }
    SetJobResult(jobState_, 0, LoadResString("IDS_PREPARECOPY"), 0);
}

CInstallerDlg::~CInstallerDlg() {
    JoinWorker();  // a rollback may still be moving files back
    DestroyWindow();
}

void CInstallerDlg::Run() {
    struct RecoveryVerdict {
        RunSummary& summary;
        ~RecoveryVerdict() { summary.ApplyRecoveryFailure(); }
    } verdict{summary_};
    if (!gtkReady_ && !silent_) {
        std::fputs("vxk5-setup: cannot open a display; the installation wizard needs one "
                   "(use /S for a silent installation)\n",
                   stderr);
        summary_.outcome = RunOutcome::Failed;
        summary_.messageKey.clear();
        summary_.detail = "cannot open a display; the installation wizard needs one";
        return;
    }
    summary_.dryRun = dryRun_;
    const bool prepared = Prepare();
    summary_.kitPath = kitPath_;
    summary_.templateDirectory = templateDirectory_;
    if (!prepared || TerminationPending()) return;
    if (silent_ && templateDirectory_.empty()) {
        // A recorded web address leaves no directory; a silent run would
        // otherwise install into whatever the current directory is.
        NoteFailure("IDS_ERROR_NOTARGET");
        MessageBox(this, LoadResString("IDS_ERROR_NOTARGET"), MB_STYLE_ERROR_OK);
        return;
    }
    if (dryRun_) {
        RunDryRun();
        return;
    }
    if (gtkReady_) BuildWindow();
    ShowWelcomePage();
    if (silent_) {
        StartInstallation();
    } else if (!TerminationPending()) {
        gtk_main();  // until the window is destroyed
    }
    JoinWorker();
    if (summary_.outcome == RunOutcome::Installed) {
        summary_.counts = worker_.counts;  // left by the worker, joined above
        if (summary_.counts.newFiles == 0 && summary_.counts.replaced == 0) summary_.outcome = RunOutcome::UpToDate;
    }
}

}  // namespace vxk5
