// The copying phase: the progress page, the worker, the polling loop, and the
// recording of the installed directory after a success.

#include "ui/installer_dlg.h"

#include <cstdio>

#include "base/conversion.h"
#include "base/result_codes.h"
#include "config/config_file.h"
#include "config/template_locations.h"
#include "lang/messages.h"
#include "platform/entry_details.h"
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

// The job's progress as the copying loop shows it: on the progress page while
// there is one, otherwise on standard error.
class ProgressDisplay {
public:
    ProgressDisplay() : console_(stderr), waitingText_(LoadResString("IDS_WAITING_INSTALL")) {}
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // `page` is null when there is no page to show it on.
    void Show(ProgressPage* page, uint32_t percent, bool waiting) {
        if (page != nullptr) {
            if (waiting != showingWaiting_) shown_ = -1;  // the label changes either way
            if (static_cast<int64_t>(percent) != shown_) page->SetProgress(percent);
            shown_ = percent;
            if (waiting && !showingWaiting_) page->SetStatusText(GtkText(waitingText_));
            showingWaiting_ = waiting;
        } else if (waiting && !waitingTold_) {
            std::fprintf(stderr, "%s\n", ToMultiByte(waitingText_).c_str());
            std::fflush(stderr);
            waitingTold_ = true;
        } else if (!waiting) {
            console_.Update(percent);
        }
    }
    void Finish() { console_.Finish(); }

private:
    ConsoleProgress console_;
    // The job says so while another installer holds the template directory.
    const WString waitingText_;
    int64_t shown_ = -1;  // the percentage on the page; setting it again would only queue a redraw
    bool showingWaiting_ = false;
    bool waitingTold_ = false;  // on standard error, once
};

}  // namespace

void CInstallerDlg::StartInstallation() {
    ShowCopyingPage();
    // From here until the worker is done, a termination signal waits.
    signalsHeld_ = true;
    StartJobWorker();
    const uint32_t code = AwaitJob();
    const bool ending = TerminationPending();
    if (ending || code != 0) JoinWorker();  // a rollback finishes before anything else
    signalsHeld_ = false;

    summary_.templateDirectory = templateDirectory_;
    if (code != 0) {
        ShowJobFailure(ending);
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

void CInstallerDlg::ShowCopyingPage() {
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
}

void CInstallerDlg::StartJobWorker() {
    bool started = false;
    // What the installation's record says of the kit.
    worker_.kitPath = ToMultiByteString(kitPath_);
    EntryDetails kitFile;
    worker_.kitSize = DescribeEntry(worker_.kitPath, LinkHandling::Follow, kitFile) == 0 ? kitFile.size : 0;
    worker_.kitCheck = summary_.signatureKeyId.empty() ? std::string("-") : "minisign:" + summary_.signatureKeyId;
    {
        ScopedTerminationBlock block;  // the worker and what it starts ignore Ctrl-C
        started = (workerHooks_.start != nullptr ? workerHooks_.start : &StartWorker)(worker_, jobState_, kit_.get());
    }
    workerStarted_ = started;
    if (!started) SetJobResult(jobState_, ERR_INVALID_PARAMETER, LoadResString("IDS_INSTALL_ERROR"), 0);
}

uint32_t CInstallerDlg::AwaitJob() {
    ProgressDisplay display;
    uint32_t code = 0;
    WString message;
    uint32_t percent = 0;
    {
        const ScopedTick tick(gtkReady_ && window_ != nullptr);
        do {
            GetJobResult(jobState_, code, message, percent);
            const bool waiting = code == 0 && GetJobWaiting(jobState_);
            display.Show(progressPage_ && layout_ != nullptr ? progressPage_.get() : nullptr, percent, waiting);
            WaitForProgress();
        } while (code == 0 && percent < 100);
    }
    display.Finish();
    return code;
}

void CInstallerDlg::ShowJobFailure(bool ending) {
    // After the rollback the job may have said more (where kept originals are).
    uint32_t code = 0;
    WString message;
    uint32_t finalPercent = 0;
    GetJobResult(jobState_, code, message, finalPercent);
    summary_.Fail("IDS_ERROR_FINISH");
    summary_.errorCode = code;
    const FailureReader reader = failureReader_ != nullptr ? failureReader_ : ReadInstallFailure;
    const FailureDetail failure = reader(worker_, jobState_);  // the worker has been joined
    if (!ending) MessageBox(this, message, MB_STYLE_ERROR_OK, DescribeFailure(failure));
    ShowErrorPage();
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
