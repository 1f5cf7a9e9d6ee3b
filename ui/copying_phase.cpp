// The copying phase: the progress page, the worker, the polling loop, and the
// recording of the installed directory after a success.

#include "ui/installer_dlg.h"

#include <cstdio>

#include "base/conversion.h"
#include "base/result_codes.h"
#include "config/config_file.h"
#include "config/template_locations.h"
#include "lang/messages.h"
#include "run/job_failure.h"
#include "ui/console_progress.h"
#include "ui/message_box.h"
#include "ui/progress_page.h"
#include "ui/termination_signals.h"
#include "ui/gtk_text.h"

namespace vxk5 {

namespace {

// How often the loop looks at the job while nothing else wakes it. The worker
// never touches GTK, so its posts wake nobody: this tick keeps the bar within
// a few hundredths of a second of the job, while the main thread sleeps in
// between instead of turning on redraws of its own making.
constexpr guint kProgressTickMilliseconds = 40;

gboolean KeepTicking(gpointer) { return TRUE; }

// A main-loop timer that goes when its owner does.
class ScopedTick {
public:
    explicit ScopedTick(bool wanted)
        : id_(wanted ? g_timeout_add(kProgressTickMilliseconds, KeepTicking, nullptr) : 0) {}
    ~ScopedTick() {
        if (id_ != 0) g_source_remove(id_);
    }
    ScopedTick(const ScopedTick&) = delete;
    ScopedTick& operator=(const ScopedTick&) = delete;

private:
    guint id_;
};

}  // namespace

void CInstallerDlg::StartInstallation() {
    inCopyingPhase_ = true;
    if (layout_ != nullptr) {
        if (!progressPage_) progressPage_ = std::make_unique<ProgressPage>(layout_);
        gtk_widget_set_sensitive(back_, FALSE);
        gtk_widget_set_sensitive(next_, FALSE);
        gtk_widget_set_sensitive(cancel_, FALSE);  // the copy cannot be cancelled: do not invite it
    }
    SetupJob(jobState_, TemplateLocations::AsInstallTarget(templateDirectory_));
    if (layout_ != nullptr) ShowPage(progressPage_.get());
    state_ = StateCopying;

    // From here until the worker is done, a termination signal waits.
    signalsHeld_ = true;
    bool started = false;
    {
        ScopedTerminationBlock block;  // the worker and what it starts ignore Ctrl-C
        started = (workerHooks_.start != nullptr ? workerHooks_.start : &StartWorker)(worker_, jobState_, kit_.get());
    }
    workerStarted_ = started;
    if (!started) SetJobResult(jobState_, ERR_INVALID_PARAMETER, LoadResString("IDS_INSTALL_ERROR"), 0);

    ConsoleProgress console(stderr);
    uint32_t code = 0;
    WString message;
    uint32_t percent = 0;
    // The job says so while another installer holds the template directory.
    const WString waitingText = LoadResString("IDS_WAITING_INSTALL");
    bool waitingTold = false;  // on standard error, once
    {
        const ScopedTick tick(gtkReady_ && window_ != nullptr);
        int64_t shown = -1;  // the percentage on the page; setting it again would only queue a redraw
        bool showingWaiting = false;
        do {
            GetJobResult(jobState_, code, message, percent);
            const bool waiting = code == 0 && GetJobWaiting(jobState_);
            if (progressPage_ && layout_ != nullptr) {
                if (waiting != showingWaiting) shown = -1;  // the label changes either way
                if (static_cast<int64_t>(percent) != shown) progressPage_->SetProgress(percent);
                shown = percent;
                if (waiting && !showingWaiting) {
                    progressPage_->SetStatusText(GtkText(waitingText));
                }
                showingWaiting = waiting;
            } else if (waiting && !waitingTold) {
                std::fprintf(stderr, "%s\n", ToMultiByte(waitingText).c_str());
                std::fflush(stderr);
                waitingTold = true;
            } else if (!waiting) {
                console.Update(percent);
            }
            WaitForProgress();
        } while (code == 0 && percent < 100);
    }
    console.Finish();

    const bool ending = TerminationPending();
    if (ending || code != 0) JoinWorker();  // a rollback finishes before anything else
    signalsHeld_ = false;

    summary_.templateDirectory = templateDirectory_;
    if (code != 0) {
        // After the rollback the job may have said more (where kept originals are).
        uint32_t finalPercent = 0;
        GetJobResult(jobState_, code, message, finalPercent);
        summary_.Fail("IDS_ERROR_FINISH");
        summary_.errorCode = code;
        const FailureReader reader = failureReader_ != nullptr ? failureReader_ : ReadInstallFailure;
        const FailureDetail failure = reader(worker_, jobState_);  // the worker has been joined
        if (!ending) MessageBox(this, message, MB_STYLE_ERROR_OK, DescribeFailure(failure));
        ShowErrorPage();
    } else {
        // Installed or up to date: the counts tell once the worker has ended.
        summary_.outcome = RunOutcome::Installed;
        summary_.messageKey = "IDS_SUCCESS_FINISH";
        ShowSuccessPage();
        RecordInstalledDirectory();
    }
    inCopyingPhase_ = false;
    if (TerminationPending()) {
        JoinWorker();
        DestroyWindow();
    }
}

void CInstallerDlg::WaitForProgress() {
    if (gtkReady_ && window_ != nullptr) {
        gtk_main_iteration();  // an event, a redraw or the progress tick
    } else {
        g_usleep(20 * 1000);  // no main loop to pace us without a display
    }
}

void CInstallerDlg::JoinWorker() {
    if (!workerStarted_) return;
    if (workerHooks_.join != nullptr) workerHooks_.join(worker_);
    else worker_.Join();
    workerStarted_ = false;
}

void CInstallerDlg::RecordInstalledDirectory() {
    try {
        locations_.Record(templateDirectory_);
        summary_.recorded = true;
    } catch (const ConfigWriteError&) {
        // The installation stands; the launcher simply does not learn the directory.
    }
}

}  // namespace vxk5
