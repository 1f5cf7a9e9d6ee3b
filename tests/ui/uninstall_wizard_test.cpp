// The uninstall wizard: the question before anything is taken back (Yes goes
// on, No changes nothing), the progress page while the worker runs, the end
// page, and nothing to uninstall told without a question. The engine is the
// test's: it reports what a real one would and counts how it was called.

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>

#include "install/uninstall.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"
#include "ui/uninstall_texts.h"
#include "wizard_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kInstalledAt = 1772633100;  // 2026-03-04, 14:05 UTC

// What the engine is asked, and what it answers: a dry run's plan, then the
// uninstall's result. It may hold the uninstall until the test lets it end.
class FakeEngine {
public:
    UninstallResult plan;
    UninstallResult done;
    bool hold = false;

    UninstallResult Run(const UninstallOptions& options) {
        std::unique_lock<std::mutex> guard(lock_);
        if (options.dryRun) {
            ++judged_;
            return plan;
        }
        ++takenBack_;
        if (options.progress) options.progress(1, 4);
        holding_ = true;
        changed_.notify_all();
        changed_.wait(guard, [&] { return !hold || released_; });
        return done;
    }
    void Release() {
        const std::lock_guard<std::mutex> guard(lock_);
        released_ = true;
        changed_.notify_all();
    }
    bool Holding() {
        const std::lock_guard<std::mutex> guard(lock_);
        return holding_;
    }
    int Judged() {
        const std::lock_guard<std::mutex> guard(lock_);
        return judged_;
    }
    int TakenBack() {
        const std::lock_guard<std::mutex> guard(lock_);
        return takenBack_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int judged_ = 0;
    int takenBack_ = 0;
    bool holding_ = false;
    bool released_ = false;
};

// The date and time as the question should show them, worked out apart from GLib.
std::string ExpectedLocalTime(int64_t seconds) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&when));
    return text;
}

// Clicks Finish once the end page is up, after noting what it says.
void Settle() {
    for (int i = 0; i < 3; ++i) {
        gdk_window_process_all_updates();
        gdk_display_sync(gdk_display_get_default());
        Pump();
    }
}

// `import` of a window (or of the whole screen for a message box) into `file`.
bool Shoot(GtkWidget* window, const std::string& file) {
    Settle();
    MakeDirectories(VXK5_SCREENSHOT_DIR);
    std::string target = window != nullptr ? std::to_string(WindowXid(window)) : "root";
    std::string import = "import";
    std::string option = "-window";
    std::string path = file;
    char* argv[] = {import.data(), option.data(), target.data(), path.data(), nullptr};
    GError* error = nullptr;
    gint status = -1;
    const gboolean ran = g_spawn_sync(nullptr, argv, environ, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
                                      &status, &error);
    if (error != nullptr) g_error_free(error);
    return ran && status == 0;
}

struct EndPageReader {
    explicit EndPageReader(CInstallerDlg* dialog_) : dialog(dialog_) {}
    CInstallerDlg* dialog;
    std::string text;
    bool finishShown = false;
    std::string shot;  // a screenshot of the end page goes there, when named

    static gboolean Step(gpointer self) {
        auto* reader = static_cast<EndPageReader*>(self);
        if (reader->dialog->State() != StateUninstalled || reader->dialog->UninstallEndPage() == nullptr) return TRUE;
        reader->text = LabelText(reader->dialog->UninstallEndPage()->Label());
        if (!reader->shot.empty()) (void)Shoot(reader->dialog->Window(), reader->shot);
        reader->finishShown = IsShown(reader->dialog->NextButton()) && IsSensitive(reader->dialog->NextButton()) &&
                              !IsShown(reader->dialog->BackButton());
        gtk_button_clicked(GTK_BUTTON(reader->dialog->NextButton()));
        return FALSE;
    }
};

class UninstallWizard : public WizardTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string Target() const { return temp_.path("templates/"); }

    // A controller in `language` that takes back the installation of Target() with the engine.
    void MakeUninstall(const char* language) {
        SetCurrentLanguage(FindLanguageId(language));
        dialog_ = std::make_unique<CInstallerDlg>(1, argv_, false, ToMultiByte(LoadResString("IDS_UNINSTALL_CAPTION")),
                                                  FromMultiByte(AString(language)), false);
        dialog_->SetUninstall({FromMultiByte(AString(Target().c_str())), false});
        dialog_->SetUninstallEngine([this](const UninstallOptions& options) { return engine_.Run(options); });
    }

    // What a recorded installation of three files, one of them changed since, gives.
    void RecordedInstallation() {
        engine_.plan.outcome = UninstallOutcome::Uninstalled;
        engine_.plan.target = Target();
        engine_.plan.installedAt = kInstalledAt;
        engine_.plan.removed = 2;
        engine_.plan.restored = 1;
        engine_.plan.keptChanged = {Target() + "forms/changed.tpl"};
        engine_.done = engine_.plan;
    }

    FakeEngine engine_;
};

TEST_P(UninstallWizard, YesTakesTheInstallationBackAndTheEndPageTellsWhatWasDone) {
    RecordedInstallation();
    MakeUninstall(GetParam());
    DialogAnswerer yes(GTK_RESPONSE_YES);
    EndPageReader end(dialog_.get());
    const ScopedTimeout finish(20, EndPageReader::Step, &end);
    dialog_->Run();

    ASSERT_TRUE(yes.Answered());
    EXPECT_TRUE(yes.HasYesNo());
    EXPECT_EQ(yes.Type(), GTK_MESSAGE_QUESTION);
    EXPECT_EQ(yes.Title(), Text("IDS_UNINSTALL_CAPTION"));
    EXPECT_NE(yes.Text().find(ExpectedLocalTime(kInstalledAt)), std::string::npos) << yes.Text();
    EXPECT_EQ(yes.Text(), ToMultiByte(UninstallQuestionText(engine_.plan)).c_str());
    EXPECT_EQ(yes.Secondary(), Target()) << "the question names the directory";
    EXPECT_EQ(yes.Parent(), nullptr) << "asked before any window";

    EXPECT_EQ(engine_.Judged(), 1);
    EXPECT_EQ(engine_.TakenBack(), 1);
    EXPECT_TRUE(end.finishShown);
    const std::string expected = ToMultiByte(UninstallEndText(engine_.done)).c_str();
    EXPECT_EQ(end.text, expected);
    EXPECT_NE(end.text.find("forms/changed.tpl"), std::string::npos) << "the kept file, below the directory";
    EXPECT_EQ(end.text.find(Target() + "forms"), std::string::npos);
    EXPECT_EQ(dialog_->Window(), nullptr) << "Finish closed the window";

    const RunSummary& summary = dialog_->Summary();
    EXPECT_EQ(summary.outcome, RunOutcome::Uninstalled);
    EXPECT_TRUE(summary.uninstall);
    EXPECT_EQ(summary.uninstalled.removed, 2u);
    EXPECT_EQ(summary.uninstalled.keptChanged.size(), 1u);
    EXPECT_EQ(summary.uninstalled.installedAt, kInstalledAt);
}

TEST_P(UninstallWizard, NoEndsAsACancelWithNothingTakenBackAndNoWindow) {
    RecordedInstallation();
    MakeUninstall(GetParam());
    DialogAnswerer no(GTK_RESPONSE_NO);
    dialog_->Run();

    ASSERT_TRUE(no.Answered());
    EXPECT_TRUE(no.HasYesNo());
    EXPECT_EQ(engine_.Judged(), 1);
    EXPECT_EQ(engine_.TakenBack(), 0) << "No changes nothing";
    EXPECT_EQ(dialog_->Window(), nullptr);
    const RunSummary& summary = dialog_->Summary();
    EXPECT_EQ(summary.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(summary.uninstalled.removed, 0u) << "nothing was removed";
}

TEST_P(UninstallWizard, NothingToUninstallIsToldWithoutAQuestion) {
    engine_.plan.outcome = UninstallOutcome::NothingToUninstall;
    MakeUninstall(GetParam());
    DialogAnswerer ok(GTK_RESPONSE_OK);
    dialog_->Run();

    ASSERT_TRUE(ok.Answered());
    EXPECT_TRUE(ok.HasOkOnly()) << "a message, not a question";
    EXPECT_EQ(ok.Text(), Text("IDS_UNINSTALL_NOTHING"));
    EXPECT_EQ(ok.Secondary(), Target());
    EXPECT_EQ(engine_.TakenBack(), 0);
    EXPECT_EQ(dialog_->Summary().outcome, RunOutcome::NothingToUninstall);
}

INSTANTIATE_TEST_SUITE_P(Languages, UninstallWizard, ::testing::Values("en", "zh", "ru"));

class UninstallWizardEnd : public UninstallWizard {};

TEST_F(UninstallWizardEnd, FailureShowsWhyOnTheEndPageAndTheRunFails) {
    RecordedInstallation();
    engine_.done = UninstallResult();
    engine_.done.code = 5;
    engine_.done.failure = FailureOf(5, EACCES, Target() + "forms/letter.tpl");
    MakeUninstall("en");
    DialogAnswerer yes(GTK_RESPONSE_YES);
    EndPageReader end(dialog_.get());
    const ScopedTimeout finish(20, EndPageReader::Step, &end);
    dialog_->Run();

    EXPECT_EQ(end.text.rfind(Text("IDS_UNINSTALL_ERROR"), 0), 0u) << end.text;
    EXPECT_NE(end.text.find("forms/letter.tpl: Permission denied"), std::string::npos) << end.text;
    EXPECT_EQ(dialog_->Summary().outcome, RunOutcome::Failed);
    EXPECT_EQ(dialog_->Summary().errorCode, 5u);
}

// A failure after the commit record: the end page says what was done, that
// the rest is unchanged, and why; and the run fails all the same.
TEST_F(UninstallWizardEnd, AFailureTakingBackInPartSaysWhatWasDone) {
    RecordedInstallation();
    engine_.done = UninstallResult();
    engine_.done.code = 5;
    engine_.done.inPart = true;
    engine_.done.removed = 7;
    engine_.done.restored = 2;
    engine_.done.failure = FailureOf(5, EIO, Target() + "forms/letter.tpl");
    MakeUninstall("de");
    DialogAnswerer yes(GTK_RESPONSE_YES);
    EndPageReader end(dialog_.get());
    end.shot = std::string(VXK5_SCREENSHOT_DIR) + "/de-9c-uninstall-in-part.png";
    const ScopedTimeout finish(20, EndPageReader::Step, &end);
    dialog_->Run();

    const std::string partial = Text("IDS_UNINSTALL_PARTIAL");
    EXPECT_EQ(end.text.rfind(partial.substr(0, partial.find('%')), 0), 0u) << end.text;
    EXPECT_NE(end.text.find("Entfernte Dateien: 7\nWiederhergestellte Originaldateien: 2"), std::string::npos)
        << end.text;
    EXPECT_NE(end.text.find("forms/letter.tpl"), std::string::npos) << end.text;
    EXPECT_EQ(dialog_->Summary().outcome, RunOutcome::Failed);
    EXPECT_NE(dialog_->Summary().detail.find("taken back in part"), std::string::npos) << dialog_->Summary().detail;
}

TEST_F(UninstallWizardEnd, AnUnusableRecordIsRefusedBeforeAnyQuestion) {
    engine_.plan.outcome = UninstallOutcome::Failed;
    engine_.plan.recordError = EPERM;
    MakeUninstall("ru");
    DialogAnswerer ok(GTK_RESPONSE_OK);
    dialog_->Run();

    ASSERT_TRUE(ok.Answered());
    EXPECT_EQ(ok.Type(), GTK_MESSAGE_ERROR);
    EXPECT_EQ(ok.Text(), Text("IDS_UNINSTALL_ERROR"));
    EXPECT_EQ(ok.Secondary(), Text("IDS_UNINSTALL_BADRECORD"));
    EXPECT_EQ(engine_.TakenBack(), 0);
    EXPECT_EQ(dialog_->Summary().outcome, RunOutcome::Failed);
}

// Many kept files: the end page counts them all and names the first few.
TEST(UninstallTexts, EndPageNamesTheFirstKeptFilesAndCountsThemAll) {
    SetCurrentLanguage(kLanguageEnglish);
    UninstallResult result;
    result.target = "/t/";
    result.removed = 7;
    for (int i = 0; i < 6; ++i) result.keptChanged.push_back("/t/k" + std::to_string(i));
    const std::string text = ToMultiByte(UninstallEndText(result)).c_str();
    EXPECT_NE(text.find("Files removed: 7"), std::string::npos) << text;
    EXPECT_NE(text.find(": 6\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    k3"), std::string::npos) << text;
    EXPECT_EQ(text.find("k4"), std::string::npos) << text;
    EXPECT_EQ(text.compare(text.size() - 3, 3, "\xe2\x80\xa6"), 0) << text;
}

}  // namespace

// Screenshots for a person to look at (<build>/screenshots/): the question,
// the progress page and the end page, with five kept files of long names.
namespace {

extern "C" char** environ;

// Shoots each step as it comes, then goes on: Yes, the engine released, Finish.
struct UninstallShots {
    CInstallerDlg* dialog;
    FakeEngine* engine;
    std::string prefix;  // <dir>/<language>-
    int step = 0;
    int shot = 0;

    static gboolean Step(gpointer self) {
        auto* shots = static_cast<UninstallShots*>(self);
        CInstallerDlg* dialog = shots->dialog;
        if (shots->step == 0 && MappedMessageDialog() != nullptr) {
            shots->shot += Shoot(nullptr, shots->prefix + "8-uninstall-question.png") ? 1 : 0;
            gtk_dialog_response(GTK_DIALOG(MappedMessageDialog()), GTK_RESPONSE_YES);
            shots->step = 1;
        } else if (shots->step == 1 && dialog->State() == StateCopying && shots->engine->Holding()) {
            Pump();  // the loop shows the worker's post
            shots->shot += Shoot(dialog->Window(), shots->prefix + "9-uninstall-progress.png") ? 1 : 0;
            shots->engine->Release();
            shots->step = 2;
        } else if (shots->step == 2 && dialog->State() == StateUninstalled) {
            shots->shot += Shoot(dialog->Window(), shots->prefix + "9b-uninstall-end.png") ? 1 : 0;
            gtk_button_clicked(GTK_BUTTON(dialog->NextButton()));
            return FALSE;
        }
        return TRUE;
    }
};

class UninstallScreenshots : public UninstallWizard {};

TEST_P(UninstallScreenshots, QuestionProgressAndEndPage) {
    RecordedInstallation();
    engine_.plan.keptChanged.clear();
    for (const char* name : {"forms/letters/quarterly-report-2025.tpl", "forms/invoice.tpl", "styles/corporate.css",
                             "macros/autostart-templates.desktop", "forms/letters/letter.tpl"}) {
        engine_.plan.keptChanged.push_back(Target() + name);
    }
    engine_.plan.removed = 1284;
    engine_.done = engine_.plan;
    engine_.hold = true;
    MakeUninstall(GetParam());
    UninstallShots shots{dialog_.get(), &engine_, std::string(VXK5_SCREENSHOT_DIR) + "/" + GetParam() + "-"};
    const ScopedTimeout drive(50, UninstallShots::Step, &shots);
    dialog_->Run();
    EXPECT_EQ(shots.step, 2);
    EXPECT_EQ(shots.shot, 3);
    EXPECT_EQ(dialog_->Summary().outcome, RunOutcome::Uninstalled);
}

INSTANTIATE_TEST_SUITE_P(Languages, UninstallScreenshots, ::testing::Values("en", "ru", "zh"));

}  // namespace
