// The controller's life: construction, the run, and the way out.

#include "ui/installer_dlg.h"

#include <cstdio>

#include "lang/messages.h"
#include "run/dry_run.h"
#include "run/preparation.h"
#include "run/recovery_notices.h"
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
      kitPlace_(usecwd ? KitPlace::CurrentDirectory : KitPlace::BesideProgram),
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

bool CInstallerDlg::Prepare() {
    const PreparationRequest request{dryRun_, kitPlace_, trustedKeyFiles_};
    const NoticeSink tell = Notices();
    // What the preparation does not reach before a failure stays as it was.
    PreparedRun prepared{kitPath_, locations_, templateDirectory_};
    const bool ready = PrepareRun(request, tell, kit_, prepared, summary_);
    kitPath_ = std::move(prepared.kitPath);
    locations_ = std::move(prepared.locations);
    templateDirectory_ = std::move(prepared.templateDirectory);
    return ready;
}

NoticeSink CInstallerDlg::Notices() {
    // Without a display each box is a line on standard error.
    return [this](const WString& text, NoticeKind kind) {
        MessageBox(this, text, kind == NoticeKind::Error ? MB_STYLE_ERROR_OK : MB_STYLE_PLAIN_OK);
    };
}

WString CInstallerDlg::LocateKit() const { return vxk5::LocateKit(kitPlace_); }

void CInstallerDlg::RunDryRun() {
    // Only a prepared run, which has read its kit, is shown.
    if (kit_ != nullptr) PrintDryRun(*kit_, templateDirectory_, summary_);
}

CInstallerDlg::~CInstallerDlg() {
    AwaitPreparation();
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
    if (uninstall_) {
        RunUninstallWizard();
        return;
    }
    if (!silent_ && !dryRun_) {
        RunInteractive();
        return;
    }
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
    FinishRun();
}

void CInstallerDlg::FinishRun() {
    JoinWorker();
    // Dead installations the job found beside or inside the template
    // directory (their registry entries lost) are told and counted as those
    // recovered at the start are.
    TellRecoveries(worker_.recovered, Notices(), summary_);
    worker_.recovered.clear();
    // The data area, when an installation needed it, has been unpacked and
    // checked by now (or the installation failed).
    if (kit_ != nullptr) summary_.kitCheck = kit_->Check().state;
    if (summary_.outcome == RunOutcome::Installed) {
        summary_.counts = worker_.counts;  // left by the worker, joined above
        summary_.keptBytes = worker_.keptBytes;
        if (summary_.counts.newFiles == 0 && summary_.counts.replaced == 0) summary_.outcome = RunOutcome::UpToDate;
    }
}

void CInstallerDlg::RunInteractive() {
    // The window at once: a large kit takes seconds to unpack and read, and a
    // start without anything on screen looks like a start that failed.
    preparing_ = true;
    BuildWindow();
    ShowWelcomePage();
    preparation_ = std::thread([this] {
        prepared_ = Prepare();  // its message boxes go to the main thread (ui/message_box.cpp)
        gdk_threads_add_idle(OnPreparationDone, this);  // with the GDK lock, as GTK expects
    });
    if (!TerminationPending()) {
        gtk_main();  // until the window is destroyed (by Cancel, a signal, or a failed preparation)
        // gtk_main hands back GDK's lock held; the main loop's own sources take
        // it while they run, so it is let go while the preparation is awaited.
        gdk_threads_leave();
        AwaitPreparation();
        gdk_threads_enter();
    }
    AwaitPreparation();
    summary_.kitPath = kitPath_;
    summary_.templateDirectory = templateDirectory_;
    FinishRun();
}

gboolean CInstallerDlg::OnPreparationDone(gpointer self) {
    auto* dialog = static_cast<CInstallerDlg*>(self);
    if (dialog->preparation_.joinable()) dialog->preparation_.join();
    dialog->preparing_ = false;
    if (!dialog->prepared_ || dialog->TerminationPending()) {
        dialog->DestroyWindow();  // its message has been shown over the window: the run ends as it always did
    } else if (dialog->window_ != nullptr) {
        dialog->ShowPreparedWelcome();
    }
    return FALSE;
}

void CInstallerDlg::AwaitPreparation() {
    // The preparation may still want a message box answered, and its end is
    // told through the main loop: turn it until the thread is done.
    while (preparing_) g_main_context_iteration(nullptr, TRUE);
    if (preparation_.joinable()) preparation_.join();
}

}  // namespace vxk5
