// The copying phase: the progress page, the polling loop, the end of the job,
// the final pages and the recording of the installed directory.

#include <gdk/gdkkeysyms.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/job_state.h"
#include "ui/dir_select_page.h"
#include "run/failure_reason.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"
#include "ui/success_final_page.h"
#include "wizard_fixture.h"

using namespace vxk5;

namespace {

bool FailToStart(InstallWorker&, InstallJobState&, DistributionKit*) { return false; }

// Runs `during` once from inside the copying loop, then posts the job's end.
struct HeldJob {
    CInstallerDlg* dialog;
    std::function<void()> during;
    uint32_t code = 0;
    WString message = u"Copying complete...";
    uint32_t percent = 100;
    uint32_t midway = 0;  // posted first, for the loop to show, when not 0
    bool ran = false;

    static gboolean Step(gpointer self) {
        auto* job = static_cast<HeldJob*>(self);
        if (job->dialog->State() != StateCopying) return TRUE;
        if (job->midway != 0) {
            SetJobResult(job->dialog->JobState(), 0, u"/somewhere/a.txt", job->midway);
            job->midway = 0;
            return TRUE;  // the loop turns and shows it before the next call
        }
        job->ran = true;
        if (job->during) job->during();
        SetJobResult(job->dialog->JobState(), job->code, job->message, job->percent);
        return FALSE;
    }
};

class CopyingPhase : public WizardTest {
protected:
    // On the directory page, with the worker replaced by the test.
    void OpenHeld() {
        Open();
        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        ClickNext();
    }

    std::string MainConfig() { return ReadFile(temp_.path("home/.Vx/vxlstart/vxlstart.cfg")); }
};

TEST_F(CopyingPhase, ProgressPageWhileCopyingThenSuccessAndRecording) {
    OpenHeld();
    const std::string typed = temp_.path("win") + "\\Templates\\x\\";
    gtk_entry_set_text(GTK_ENTRY(dialog_->DirectoryPage()->Entry()), typed.c_str());
    HeldJob job{dialog_.get(), [&] {
                    ProgressPage* page = dialog_->CopyingPage();
                    ASSERT_NE(page, nullptr);
                    EXPECT_EQ(dialog_->CurrentPage(), page);
                    EXPECT_FALSE(IsSensitive(dialog_->BackButton()));
                    EXPECT_FALSE(IsSensitive(dialog_->NextButton()));
                    EXPECT_FALSE(IsSensitive(dialog_->CancelButton())) << "the copy cannot be cancelled";
                    EXPECT_EQ(LabelText(page->Label()), "Files being copied...");
                    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(page->Bar())), 0.4);
                }};
    job.midway = 40;
    const ScopedTimeout timeout1(10, HeldJob::Step, &job);
    ClickNext();
    ASSERT_TRUE(job.ran);

    const std::string stored = temp_.path("win") + "/Templates/x";
    EXPECT_EQ(ToMultiByte(dialog_->TemplateDirectory()).c_str(), stored + "/") << "backslashes become slashes";
    EXPECT_EQ(dialog_->State(), StateSuccess);
    ASSERT_NE(dialog_->SuccessPage(), nullptr);
    EXPECT_EQ(dialog_->CurrentPage(), dialog_->SuccessPage());
    EXPECT_EQ(LabelText(dialog_->SuccessPage()->Label()), "Configuration installed successfully.");
    EXPECT_TRUE(dialog_->SuccessPage()->IsOpenDescriptionChecked());
    // The final buttons: Back hidden, Cancel insensitive, Next reads Finish and is the default.
    EXPECT_FALSE(IsShown(dialog_->BackButton()));
    EXPECT_FALSE(IsSensitive(dialog_->CancelButton()));
    EXPECT_TRUE(IsShown(dialog_->NextButton()));
    EXPECT_TRUE(IsSensitive(dialog_->NextButton()));
    EXPECT_EQ(ButtonLabel(dialog_->NextButton()), "Finish");
    EXPECT_TRUE(gtk_widget_has_default(dialog_->NextButton()));

    // Recorded at the front, without the one trailing separator.
    ASSERT_FALSE(dialog_->TemplateLocations().empty());
    EXPECT_EQ(ToMultiByte(dialog_->TemplateLocations().front()).c_str(), stored);
    EXPECT_NE(MainConfig().find("ConfigurationTemplatesLocation=" + stored + "\n"), std::string::npos) << MainConfig();
}

TEST_F(CopyingPhase, CancelEscapeAndCloseRequestDoNothingWhileCopying) {
    OpenHeld();
    HeldJob job{dialog_.get(), [&] {
                    DialogAnswerer anyQuestion(GTK_RESPONSE_YES);  // would end a wrong question
                    ClickCancel();
                    SendKey(dialog_->Window(), GDK_Escape);
                    SendDelete(dialog_->Window());
                    for (int i = 0; i < 5; ++i) gtk_main_iteration_do(FALSE);
                    EXPECT_FALSE(anyQuestion.Answered()) << "nothing is asked while copying";
                    EXPECT_NE(dialog_->Window(), nullptr) << "the window outlives the copy";
                    EXPECT_EQ(dialog_->State(), StateCopying);
                }};
    const ScopedTimeout timeout2(10, HeldJob::Step, &job);
    ClickNext();
    ASSERT_TRUE(job.ran);
    EXPECT_EQ(dialog_->State(), StateSuccess);
    ASSERT_NE(dialog_->Window(), nullptr);
}

TEST_F(CopyingPhase, JobFailureShowsItsMessageThenTheErrorPageAndRecordsNothing) {
    OpenHeld();
    DialogAnswerer answer(GTK_RESPONSE_OK);
    HeldJob job{dialog_.get(), nullptr, 5, u"Installation error 100% %s", 40};
    const ScopedTimeout timeout3(10, HeldJob::Step, &job);
    ClickNext();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Text(), "Installation error 100% %s") << "shown literally";
    EXPECT_EQ(answer.Type(), GTK_MESSAGE_ERROR);
    EXPECT_TRUE(answer.HasOkOnly());
    EXPECT_EQ(dialog_->State(), StateError);
    ASSERT_NE(dialog_->ErrorPage(), nullptr);
    EXPECT_EQ(dialog_->CurrentPage(), dialog_->ErrorPage());
    EXPECT_EQ(LabelText(dialog_->ErrorPage()->Label()),
              "An error occurred during the installation process. Installation canceled. "
              "Template directory has not been changed.");
    EXPECT_EQ(ButtonLabel(dialog_->NextButton()), "Finish");
    EXPECT_FALSE(IsShown(dialog_->BackButton()));
    EXPECT_FALSE(IsSensitive(dialog_->CancelButton()));
    EXPECT_TRUE(dialog_->TemplateLocations().empty());
    EXPECT_FALSE(PathExists(temp_.path("home/.Vx")));

    // Escape on a final page still asks, though Cancel is insensitive.
    DialogAnswerer question(GTK_RESPONSE_NO);
    SendKey(dialog_->Window(), GDK_Escape);
    ASSERT_TRUE(question.Answered());
    EXPECT_EQ(question.Text(), "Do you really want to cancel installation?");

    // Finish on the error page ends at once.
    ClickNext();
    EXPECT_EQ(dialog_->Window(), nullptr);
}

// Stands in for the job's record of what failed where.
FailureDetail DiskFull(InstallWorker&, InstallJobState&) { return {"/home/ann/tmplts/README.de.txt", ENOSPC}; }

TEST_F(CopyingPhase, ErrorBoxSaysWhichFileFailedAndWhyAndStaysWithTheWizard) {
    OpenHeld();
    dialog_->SetFailureReader(DiskFull);
    GtkWindow* wizard = GTK_WINDOW(dialog_->Window());
    DialogAnswerer answer(GTK_RESPONSE_OK);
    HeldJob job{dialog_.get(), nullptr, 87, LoadResString("IDS_INSTALL_ERROR"), 40};
    const ScopedTimeout timeout4(10, HeldJob::Step, &job);
    ClickNext();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Text(), "Installation error") << "the primary text stays as it was";
    EXPECT_EQ(answer.Secondary(), std::string("/home/ann/tmplts/README.de.txt: ") + std::strerror(ENOSPC));
    EXPECT_EQ(answer.Parent(), wizard);
    EXPECT_EQ(answer.Position(), GTK_WIN_POS_CENTER_ON_PARENT);
    EXPECT_EQ(dialog_->State(), StateError);
    EXPECT_EQ(LabelText(dialog_->ErrorPage()->Label()), Text("IDS_ERROR_FINISH")) << "the error page keeps its text";
}

TEST_F(CopyingPhase, WorkerThatCannotStartIsReportedAsAFailure) {
    Open();
    dialog_->SetWorkerHooks({FailToStart, JoinNothing});
    ClickNext();
    DialogAnswerer answer(GTK_RESPONSE_OK);
    ClickNext();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Text(), "Installation error");
    EXPECT_EQ(answer.Secondary(), "") << "no file was involved";
    EXPECT_EQ(answer.Type(), GTK_MESSAGE_ERROR);
    EXPECT_EQ(dialog_->State(), StateError);
    EXPECT_FALSE(IsSensitive(dialog_->CancelButton())) << "the final page has no use for Cancel";
}

TEST_F(CopyingPhase, SilentRunGoesStraightToTheFinalPage) {
    Open(/*silent=*/true);
    dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
    HeldJob job{dialog_.get(), [&] {
                    EXPECT_FALSE(IsShown(dialog_->BackButton()));
                    EXPECT_FALSE(IsShown(dialog_->NextButton()));
                }};
    const ScopedTimeout timeout5(10, HeldJob::Step, &job);
    dialog_->StartInstallation();
    ASSERT_TRUE(job.ran);
    EXPECT_EQ(dialog_->State(), StateSuccess);
    EXPECT_TRUE(IsShown(dialog_->NextButton()));
    EXPECT_EQ(ButtonLabel(dialog_->NextButton()), "Finish");
}

TEST_F(CopyingPhase, RealWorkerInstallsAKitWithoutEntries) {
    OpenHeld();
    dialog_->SetWorkerHooks({nullptr, nullptr});  // the real thread
    dialog_->Kit() = DistributionKit::FromContainer(OwnedDescriptor(), {}, {});
    const std::string target = temp_.path("fresh/templates/");
    gtk_entry_set_text(GTK_ENTRY(dialog_->DirectoryPage()->Entry()), target.c_str());
    ClickNext();
    EXPECT_EQ(dialog_->State(), StateSuccess);
    EXPECT_NE(MainConfig().find("ConfigurationTemplatesLocation=" + temp_.path("fresh/templates")),
              std::string::npos)
        << MainConfig();
}

// A worker thread that posts 30 % and 60 % and each time waits until the bar
// shows it, then posts the end. Nothing but its posts happens meanwhile: no
// click, no timer of the test's, so the loop itself must come round to them.
struct PostingWorker {
    static PostingWorker* current;
    CInstallerDlg* dialog = nullptr;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<double> shown;  // fractions the bar took, in order
    bool missed = false;        // a post that the bar did not show within the safety limit

    static void OnFraction(GObject* bar, GParamSpec*, gpointer) {
        PostingWorker* self = current;
        const std::lock_guard<std::mutex> lock(self->mutex);
        self->shown.push_back(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar)));
        self->changed.notify_all();
    }

    static bool Start(InstallWorker&, InstallJobState& state, DistributionKit*) {
        PostingWorker* self = current;
        // Called on the main thread with the progress page up.
        g_signal_connect(self->dialog->CopyingPage()->Bar(), "notify::fraction", G_CALLBACK(OnFraction), nullptr);
        self->thread = std::thread([self, &state] {
            for (const uint32_t percent : {30u, 60u}) {
                // Let the loop fall idle first (the redraws of the last change
                // done): only the loop's own pacing can bring it round now.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                SetJobResult(state, 0, u"/somewhere/file.txt", percent);
                std::unique_lock<std::mutex> lock(self->mutex);
                // A limit only so that a broken loop fails instead of hanging.
                if (!self->changed.wait_for(lock, std::chrono::seconds(20), [&] {
                        return !self->shown.empty() && self->shown.back() == percent / 100.0;
                    })) {
                    self->missed = true;
                    g_main_context_wakeup(nullptr);
                }
            }
            SetJobResult(state, 0, u"Copying complete...", 100);
            g_main_context_wakeup(nullptr);  // a loop that sleeps for ever would hang the test
        });
        return true;
    }
    void JoinThread() {
        if (thread.joinable()) thread.join();
    }
    static void Join(InstallWorker&) {
        if (current != nullptr) current->JoinThread();
    }
};
PostingWorker* PostingWorker::current = nullptr;

TEST_F(CopyingPhase, PostsOfTheWorkerAloneMoveTheBar) {
    // The directory entry's blinking cursor would wake the loop as well.
    GtkSettings* settings = gtk_settings_get_default();
    gboolean blink = TRUE;
    g_object_get(settings, "gtk-cursor-blink", &blink, nullptr);
    g_object_set(settings, "gtk-cursor-blink", FALSE, nullptr);
    OpenHeld();
    PostingWorker worker;
    worker.dialog = dialog_.get();
    PostingWorker::current = &worker;
    dialog_->SetWorkerHooks({PostingWorker::Start, PostingWorker::Join});
    ClickNext();
    worker.JoinThread();
    PostingWorker::current = nullptr;
    EXPECT_FALSE(worker.missed);
    // The 0 % of the first pass is seen only when the worker has not posted yet.
    if (!worker.shown.empty() && worker.shown.front() == 0.0) worker.shown.erase(worker.shown.begin());
    EXPECT_EQ(worker.shown, (std::vector<double>{0.3, 0.6, 1.0})) << "each percentage is set once";
    EXPECT_EQ(dialog_->State(), StateSuccess);
    g_object_set(settings, "gtk-cursor-blink", blink, nullptr);
}

TEST(ProgressPageTest, TextAndBarFollowThePercentage) {
    if (!g_haveDisplay) GTEST_SKIP() << "no display";
    SetCurrentLanguage(kLanguageEnglish);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* layout = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), layout);
    ProgressPage page(layout);
    ASSERT_EQ(page.Widgets().size(), 2u);
    EXPECT_EQ(page.Widgets()[0], page.Label());
    EXPECT_EQ(LabelText(page.Label()), "Files being copied...");
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(page.Bar())), 0.0);
    page.SetProgress(99);
    EXPECT_EQ(LabelText(page.Label()), "Files being copied...");
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(page.Bar())), 0.99);
    page.SetProgress(100);
    EXPECT_EQ(LabelText(page.Label()), "Copying complete...");
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(page.Bar())), 1.0);
    gtk_widget_destroy(window);
}

}  // namespace

namespace {

// The current directory for the life of the object.
class InDirectory {
public:
    explicit InDirectory(const std::string& directory) : before_(getcwd(nullptr, 0)) {
        EXPECT_EQ(chdir(directory.c_str()), 0);
    }
    ~InDirectory() {
        if (before_ != nullptr && chdir(before_) != 0) ADD_FAILURE() << "cannot go back to " << before_;
        free(before_);
    }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    char* before_;
};

// What the window showed the first time the main loop looked at it.
struct FirstSight {
    CInstallerDlg* dialog;
    bool seen = false;
    bool nextSensitive = true;
    std::string text;
    GtkWidget* window = nullptr;

    static gboolean Look(gpointer self) {
        auto* sight = static_cast<FirstSight*>(self);
        if (sight->dialog->Window() == nullptr || sight->dialog->WelcomePage() == nullptr) return TRUE;
        sight->seen = true;
        sight->window = sight->dialog->Window();
        sight->nextSensitive = gtk_widget_get_sensitive(sight->dialog->NextButton()) != FALSE;
        sight->text = LabelText(sight->dialog->WelcomePage()->Label());
        return FALSE;
    }
};

// The interactive run shows its window before the kit is read; the kit is read
// on a thread of its own, whose failure box the main thread shows over the
// window; OK ends the run as it always did.
TEST_F(CopyingPhase, PreparationBehindTheWindowReportsItsFailureOverItAndEnds) {
    const std::string place = temp_.path("app");
    MakeDirectories(place);
    WriteFile(place + "/vxk5.efd", std::string(8192, 'x'));  // no kit at all inside
    const InDirectory here(place);
    dialog_ = std::make_unique<CInstallerDlg>(1, argv_, false, ToMultiByte(LoadResString("IDR_MAINFRAME")), u"en", true);
    FirstSight sight{dialog_.get(), false, true, "", nullptr};
    const ScopedTimeout look(1, FirstSight::Look, &sight);
    DialogAnswerer answer(GTK_RESPONSE_OK);
    dialog_->Run();
    ASSERT_TRUE(sight.seen) << "a window while preparing";
    EXPECT_FALSE(sight.nextSensitive);
    EXPECT_EQ(sight.text, Text("IDS_PREPARECOPY"));
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Text(), Text("IDS_ERROR_DAMAGEDSOURCE"));
    EXPECT_EQ(static_cast<void*>(answer.Parent()), static_cast<void*>(sight.window)) << "over the window";
    EXPECT_EQ(dialog_->Window(), nullptr) << "the run ended";
    EXPECT_EQ(dialog_->Summary().messageKey, "IDS_ERROR_DAMAGEDSOURCE");
}

}  // namespace
