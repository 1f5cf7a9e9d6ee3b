#pragma once
// CInstallerDlg: the installer's controller and its wizard window in one object.
//
// Controller side (installer_controller.cpp, with the run's logic in run/):
// construction, LocateKit, Prepare (find and read the kit, propose a template
// directory) and Run. Window side (installer_window.cpp and
// the page files): the fixed 500 x 360 window, its pages, the Back/Next/Cancel dispatch on WizardState,
// the message boxes and the copying phase.
//
// Threads: the main thread owns this object, GTK and every widget. The install
// worker runs the job on its own thread and touches nothing here except
// `jobState_` (under its lock) and the kit (read-only while the job runs, its
// container handle and copy buffer used only by the job). The controller joins
// the worker before it goes, so the process never ends during a rollback.
//
// Without a display (gtk_init_check fails) a silent run still installs: every
// message box becomes a line on standard error (its detail a second line) and
// counts as OK, and the progress is written to standard error. An interactive
// run then only says that it needs a display.

#include <gtk/gtk.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "base/wstring.h"
#include "install/install_worker.h"
#include "config/template_locations.h"
#include "kit/distribution_kit.h"
#include "platform/job_state.h"
#include "run/kit_location.h"
#include "run/notice_sink.h"
#include "run/run_summary.h"
#include "run/uninstall_run.h"
#include "run/uninstall_worker.h"
#include "ui/gobject_ptr.h"
#include "ui/wnd.h"

namespace vxk5 {

class WizardDialogPage;
class MessagePage;
class DirSelectPage;
class ProgressPage;
class SuccessFinalPage;
class TerminationSignals;
struct FailureDetail;

enum WizardState : int32_t {
    StateNone = 0,
    StateWelcome = 1,
    StateDirectory = 2,
    StateCopying = 3,
    StateSuccess = 4,
    StateError = 5,
    StateUninstalled = 6,  // the uninstall's end page
};

class CInstallerDlg : public CWnd {
public:
    // Starts GTK with the stored argument count and vector (gtk_init_check).
    CInstallerDlg(int32_t argumentCount, char** argumentVector, bool silent, const AString& caption,
                  const WString& languageCode, bool usecwd);
    virtual ~CInstallerDlg();

    // The whole run: Prepare, then the wizard (or, silent, the installation).
    // An interactive run shows the window at once and prepares behind it.
    void Run();
    // Finds and reads the kit and proposes the template directory; false after
    // an error box.
    [[nodiscard]] bool Prepare();
    // The kit's full path, or empty when it cannot be determined.
    WString LocateKit() const;

    // ---- unattended deployment
    // A dry run prepares as usual, then only tells what the installation would
    // do with each entry, on standard output; it writes nothing.
    void SetDryRun(bool dryRun) { dryRun_ = dryRun; }
    // Key files named on the command line (--trusted-key=FILE), read with the
    // policy directory's when the kit is prepared.
    void SetTrustedKeyFiles(std::vector<WString> files) { trustedKeyFiles_ = std::move(files); }
    void RunDryRun();
    // How the run ended so far; complete once Run has returned.
    const RunSummary& Summary() const { return summary_; }
    // A preparation failure by message key, for the summary.
    void NoteFailure(const char* key) { summary_.Fail(key); }

    // ---- the uninstall wizard (ui/uninstall_phase.cpp, ui/uninstall_pages.cpp)
    // Run then takes back the latest recorded installation instead of
    // installing: the question, the progress page, the end page.
    void SetUninstall(const UninstallRequest& request) {
        uninstall_ = true;
        uninstallRequest_ = request;
    }
    // Whether GTK found a display: without one the wizard cannot be shown.
    bool HasDisplay() const { return gtkReady_; }
    // What judges and takes back the installation (RunUninstall unless set);
    // tests put in their own.
    void SetUninstallEngine(UninstallEngine engine) { uninstallEngine_ = std::move(engine); }
    MessagePage* UninstallEndPage() const { return uninstallEndPage_.get(); }

    // The window caption as a WString; the title of every message box.
    virtual WString GetTitle() const;

    // ---- window (ui/installer_window.cpp)
    void BuildWindow();
    void ShowPage(WizardDialogPage* page);
    // Sizes and places Back, Next and Cancel for their current labels.
    void LayOutButtons();
    // How much the layout is scaled for the font (1.0 at the design font).
    double LayoutScale() const { return scale_; }
    static gint OnBackClicked(GtkWidget* button, CInstallerDlg* dialog);
    static gint OnNextClicked(GtkWidget* button, CInstallerDlg* dialog);
    static gint OnCancelClicked(GtkWidget* button, CInstallerDlg* dialog);
    static gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, CInstallerDlg* dialog);
    void ConfirmCancel();

    // ---- pages (ui/welcome_pages.cpp, ui/copying_phase.cpp, ui/final_pages.cpp)
    void ShowWelcomePage();
    void ShowDirectoryPage();
    void AcceptDirectory();  // Next on the directory page
    void StartInstallation();
    void ShowSuccessPage();
    void ShowErrorPage();
    void SetFinishButtons();
    void OnFinish();

    // ---- state, for the pages and for tests
    WizardState State() const { return state_; }
    GtkWidget* Window() const { return window_; }
    GtkWidget* Layout() const { return layout_; }
    GtkWidget* BackButton() const { return back_; }
    GtkWidget* NextButton() const { return next_; }
    GtkWidget* CancelButton() const { return cancel_; }
    MessagePage* WelcomePage() const { return welcomePage_.get(); }
    DirSelectPage* DirectoryPage() const { return directoryPage_.get(); }
    ProgressPage* CopyingPage() const { return progressPage_.get(); }
    SuccessFinalPage* SuccessPage() const { return successPage_.get(); }
    MessagePage* ErrorPage() const { return errorPage_.get(); }
    WizardDialogPage* CurrentPage() const { return currentPage_; }
    const WString& TemplateDirectory() const { return templateDirectory_; }
    void SetTemplateDirectory(const WString& directory) { templateDirectory_ = directory; }
    const std::vector<WString>& TemplateLocations() const { return locations_.Recorded(); }
    const WString& KitPath() const { return kitPath_; }
    // The kit read by the preparation; none before it.
    std::unique_ptr<DistributionKit>& Kit() { return kit_; }
    InstallJobState& JobState() { return jobState_; }

    // How the worker thread is started (false: no thread could be made) and
    // joined. The real thread by default; tests put in their own to hold the
    // copying phase or to provoke a failed start.
    struct WorkerHooks {
        bool (*start)(InstallWorker& worker, InstallJobState& state, DistributionKit* kit);
        void (*join)(InstallWorker& worker);
    };
    void SetWorkerHooks(const WorkerHooks& hooks) { workerHooks_ = hooks; }
    // Where a failed job's path and errno are read from (ReadInstallFailure by
    // default); tests stand in for the job with their own.
    using FailureReader = FailureDetail (*)(InstallWorker& worker, InstallJobState& state);
    void SetFailureReader(FailureReader reader) { failureReader_ = reader; }

private:
    static gboolean OnDeleteEvent(GtkWidget* window, GdkEvent* event, CInstallerDlg* dialog);
    static void OnWindowDestroyed(GtkWidget* window, CInstallerDlg* dialog);
    // A termination signal reached the main loop (SIGINT, SIGTERM, SIGHUP).
    void OnTerminationSignal();
    bool TerminationPending() const;
    // The interactive run: the window first, Prepare on a thread of its own
    // meanwhile (its message boxes are shown by the main thread), the wizard
    // going on once it is done.
    void RunInteractive();
    static gboolean OnPreparationDone(gpointer self);
    // Waits for the preparation thread, turning the main loop meanwhile.
    void AwaitPreparation();
    // The welcome page's text, and Next, once the kit has been read.
    void ShowPreparedWelcome();
    // The welcome sentence with the kit's names (remembering the product for the banner).
    WString WelcomeText();
    // Marks the window for automation (the test suite): "preparing" or "ready".
    void MarkWindowState(const char* state);
    void DestroyWindow();
    // After the wizard: the worker joined, the job's recoveries told, the summary completed.
    void FinishRun();
    // Tells the user outside the pages: a box, or a line on standard error.
    NoticeSink Notices();
    void JoinWorker();
    // The steps of the copying phase: the progress page and the job's
    // parameters; the worker started (or the job failed when it cannot be);
    // the loop until the job is done, which gives its code; the error box and
    // page of a failed job (no box when the run is ending).
    void ShowCopyingPage();
    void StartJobWorker();
    uint32_t AwaitJob();
    void ShowJobFailure(bool ending);
    // One turn of the copying loop: a GTK main-loop iteration, or a short wait
    // when there is no display.
    void WaitForProgress();
    void RecordInstalledDirectory();
    // The uninstall: the dry run judged and asked about (false: the run ends
    // there, its outcome told); the worker run under the progress page; the
    // end page, on which the main loop waits for Finish.
    void RunUninstallWizard();
    bool AskToUninstall(const UninstallResult& plan, const WString& directory);
    UninstallResult TakeBackInstallation(const WString& directory);
    UninstallResult RunUninstallEngine(const UninstallOptions& options) const;
    void ShowUninstallProgress();
    void ShowUninstallEnd(const UninstallResult& result);

    // ---- controller
    bool silent_ = false;
    InstallJobState jobState_;
    vxk5::TemplateLocations locations_;
    WString templateDirectory_;
    WString kitPath_;
    std::unique_ptr<DistributionKit> kit_;
    WString languageCode_;
    KitPlace kitPlace_ = KitPlace::BesideProgram;
    int argumentCount_ = 0;
    char** argumentVector_ = nullptr;
    bool gtkReady_ = false;

    // ---- preparation behind the window
    std::thread preparation_;
    std::atomic<bool> preparing_{false};
    bool prepared_ = false;  // written by the preparation thread, read after it is joined

    // ---- window
    WizardState state_ = StateNone;
    std::unique_ptr<MessagePage> welcomePage_;
    std::unique_ptr<DirSelectPage> directoryPage_;
    WizardDialogPage* currentPage_ = nullptr;  // not owning
    std::unique_ptr<ProgressPage> progressPage_;
    std::unique_ptr<SuccessFinalPage> successPage_;
    std::unique_ptr<MessagePage> errorPage_;
    GPtr<GdkPixbuf> banner_;
    WString bannerName_;  // what a screen reader calls the banner: the product
    // Widgets are owned by the window; these go null when it is destroyed.
    GtkWidget* back_ = nullptr;
    GtkWidget* next_ = nullptr;
    GtkWidget* cancel_ = nullptr;
    AString title_;
    GtkWidget* window_ = nullptr;
    GtkWidget* layout_ = nullptr;
    double scale_ = 1.0;
    GPtr<GdkPixbuf> icon_;
    InstallWorker worker_;
    WorkerHooks workerHooks_{};
    FailureReader failureReader_ = nullptr;
    bool workerStarted_ = false;

    // Signals are held while the worker copies or rolls back (`signalsHeld_`);
    // the end of the copying phase (`inCopyingPhase_`) then ends the run.
    std::unique_ptr<TerminationSignals> signals_;
    bool signalsHeld_ = false;
    bool inCopyingPhase_ = false;

    // ---- the uninstall wizard
    bool uninstall_ = false;
    UninstallRequest uninstallRequest_;
    UninstallEngine uninstallEngine_;
    UninstallWorker uninstallWorker_;
    std::unique_ptr<MessagePage> uninstallEndPage_;

    // ---- unattended deployment
    bool dryRun_ = false;
    std::vector<WString> trustedKeyFiles_;
    RunSummary summary_;
};

}  // namespace vxk5
