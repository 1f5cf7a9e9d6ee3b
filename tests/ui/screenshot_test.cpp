// Screenshots for a person to look at, saved under <build>/screenshots/: every
// page, the folder chooser and the cancel question in English, German,
// Russian and Armenian, and the welcome, directory and success pages and the
// cancel question in all 24 languages, GTK's own texts in the table's
// language as in the installer; each at the design font, at a 14-point font
// ("@1.4x" in the name) and at 144 dots per inch ("@1.5x").
// tools/check_screenshots.cpp (run by ./test.sh) then checks that each shows
// the window at its size.

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <clocale>
#include <functional>
#include <vector>

#include "ui/toolkit_language.h"
#include "ui/dir_select_page.h"
#include "run/failure_reason.h"
#include "wizard_fixture.h"
#include "tests/support/kit_parts.h"

using namespace vxk5;

extern char** environ;

namespace {

bool StartNoThread(InstallWorker&, InstallJobState&, DistributionKit*) { return true; }
void JoinNothing(InstallWorker&) {}

// Lets the X server catch up and handles the exposures it sends back.
void Settle() {
    for (int i = 0; i < 3; ++i) {
        gdk_window_process_all_updates();
        gdk_display_sync(gdk_display_get_default());
        Pump();
    }
}

int RunTool(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string WindowId(GtkWidget* window) {
    return std::to_string(WindowXid(window));
}

struct ShotSize {
    const char* font;
    int dpi;
    const char* suffix;  // in the file name: the layout's scale
};

void PrintTo(const ShotSize& size, std::ostream* out) { *out << size.font << " at " << size.dpi << " dpi"; }

class Screenshots : public WizardTest, public ::testing::WithParamInterface<ShotSize> {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        if (g_haveDisplay) UseFontAndResolution(GetParam().font, GetParam().dpi);
    }

    void Shoot(const std::string& what, GtkWidget* window) {
        Settle();
        MakeDirectories(VXK5_SCREENSHOT_DIR);
        const std::string file =
            std::string(VXK5_SCREENSHOT_DIR) + "/" + language_ + "-" + what + GetParam().suffix + ".png";
        const std::string target = window != nullptr ? WindowId(window) : "root";
        EXPECT_EQ(RunTool({"import", "-window", target, file}), 0) << file;
        EXPECT_TRUE(PathExists(file)) << file;
    }

    void TearDown() override {
        SetCatalogueLanguage(kLanguageEnglish);
        WizardTest::TearDown();
        if (g_haveDisplay) UseFontAndResolution("Sans 10", 96);
    }

    void OpenIn(const char* language) {
        language_ = language;
        SetCatalogueLanguage(FindLanguageId(language));
        Make(false, language);
        // Names as a kit would give them for the language.
        AddKitDescription(dialog_->Kit(), {FromMultiByte(AString(language)), u"Office Templates 2026",
                                               u"Example Software Ltd", u"readme.html"});
        dialog_->BuildWindow();
        dialog_->ShowWelcomePage();
    }

    std::string language_;
};

struct CopyingShot {
    CInstallerDlg* dialog;
    std::function<void()> during;
    uint32_t code;
    std::function<void()> waiting = nullptr;  // then with the waiting text, when given
    bool posted = false;
    bool waitingPosted = false;

    static gboolean Step(gpointer self) {
        auto* shot = static_cast<CopyingShot*>(self);
        if (shot->dialog->State() != StateCopying) return TRUE;
        if (!shot->posted) {  // 40 %, shown by the copying loop before the next call
            SetJobResult(shot->dialog->JobState(), 0, u"", 40);
            shot->posted = true;
            return TRUE;
        }
        if (shot->waiting && !shot->waitingPosted) {
            shot->during();
            SetJobWaiting(shot->dialog->JobState(), true);
            SetJobResult(shot->dialog->JobState(), 0, LoadResString("IDS_WAITING_INSTALL"), 40);
            shot->waitingPosted = true;
            return TRUE;
        }
        if (shot->waiting) {
            shot->waiting();
            SetJobWaiting(shot->dialog->JobState(), false);
        } else {
            shot->during();
        }
        SetJobResult(shot->dialog->JobState(), shot->code, LoadResString("IDS_INSTALL_ERROR"),
                     shot->code == 0 ? 100 : 40);
        return FALSE;
    }
};

struct QuestionShot {
    std::function<void(GtkWidget*)> shoot;
    bool done = false;

    static gboolean Step(gpointer self) {
        auto* shot = static_cast<QuestionShot*>(self);
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* item = windows; item != nullptr; item = item->next) {
            if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
                found = GTK_WIDGET(item->data);
            }
        }
        g_list_free(windows);
        if (found == nullptr) return TRUE;
        shot->shoot(found);
        shot->done = true;
        gtk_dialog_response(GTK_DIALOG(found), GTK_RESPONSE_NO);
        return FALSE;
    }
};

// The job's record of a full disk, for the error box's second line.
FailureDetail DiskFull(InstallWorker&, InstallJobState&) {
    return {"/home/ann/.vxk5/Vx/vxk5/tmplts/forms/README.de.txt", ENOSPC};
}

// The C library's messages in the language shown, where that locale exists.
class MessagesLocale {
public:
    explicit MessagesLocale(const std::string& language) : before_(std::setlocale(LC_MESSAGES, nullptr)) {
        const std::string name = language == "de" ? "de_DE.UTF-8" : language == "ru" ? "ru_RU.UTF-8" : "C.UTF-8";
        std::setlocale(LC_MESSAGES, name.c_str());
    }
    ~MessagesLocale() { std::setlocale(LC_MESSAGES, before_.c_str()); }
    MessagesLocale(const MessagesLocale&) = delete;
    MessagesLocale& operator=(const MessagesLocale&) = delete;

private:
    std::string before_;
};

// Shoots the folder chooser once it shows its starting folder, then cancels it.
struct ChooserShot {
    std::function<void(GtkWidget*)> shoot;
    bool done = false;

    static gboolean Step(gpointer self) {
        auto* shot = static_cast<ChooserShot*>(self);
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* item = windows; item != nullptr; item = item->next) {
            if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
                found = GTK_WIDGET(item->data);
            }
        }
        g_list_free(windows);
        if (found == nullptr) return TRUE;
        gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(found));
        if (folder == nullptr) return TRUE;
        g_free(folder);
        shot->shoot(found);
        shot->done = true;
        gtk_dialog_response(GTK_DIALOG(found), GTK_RESPONSE_CANCEL);
        return FALSE;
    }
};

TEST_P(Screenshots, EveryPageInEnglishGermanRussianAndArmenian) {
    for (const char* language : {"en", "de", "ru", "hy"}) {
        SCOPED_TRACE(language);
        OpenIn(language);
        Shoot("1-welcome", dialog_->Window());

        QuestionShot question{[&](GtkWidget*) { Shoot("2-cancel-question", nullptr); }};
        const ScopedTimeout timeout1(50, QuestionShot::Step, &question);
        gtk_button_clicked(GTK_BUTTON(dialog_->CancelButton()));
        EXPECT_TRUE(question.done);

        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        Shoot("3-directory", dialog_->Window());

        // A file where the template directory should be: turned away on the page.
        const std::string file = temp_.path("notes.txt");
        WriteFile(file, "a file");
        gtk_entry_set_text(GTK_ENTRY(dialog_->DirectoryPage()->Entry()), file.c_str());
        QuestionShot badTarget{[&](GtkWidget*) { Shoot("3b-unusable-directory", nullptr); }};
        const ScopedTimeout timeout2(50, QuestionShot::Step, &badTarget);
        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        EXPECT_TRUE(badTarget.done);
        ASSERT_EQ(dialog_->State(), StateDirectory);
        dialog_->DirectoryPage()->SetDirectory(dialog_->TemplateDirectory());

        ChooserShot chooser{[&](GtkWidget* window) { Shoot("3-folder-chooser", window); }};
        const ScopedTimeout timeout3(50, ChooserShot::Step, &chooser);
        gtk_button_clicked(GTK_BUTTON(dialog_->DirectoryPage()->BrowseButton()));
        EXPECT_TRUE(chooser.done);

        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        CopyingShot progress{dialog_.get(), [&] { Shoot("4-progress", dialog_->Window()); }, 0,
                             [&] { Shoot("4b-waiting", dialog_->Window()); }};
        const ScopedTimeout timeout4(10, CopyingShot::Step, &progress);
        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        ASSERT_EQ(dialog_->State(), StateSuccess);
        Shoot("5-success", dialog_->Window());
        dialog_.reset();

        // The error box and the error page.
        OpenIn(language);
        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        dialog_->SetFailureReader(DiskFull);
        MessagesLocale messages(language);
        CopyingShot failing{dialog_.get(), [] {}, 5};
        QuestionShot errorBox{[&](GtkWidget*) { Shoot("6-error-box", nullptr); }};
        const ScopedTimeout timeout5(10, CopyingShot::Step, &failing);
        const ScopedTimeout timeout6(50, QuestionShot::Step, &errorBox);
        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        EXPECT_TRUE(errorBox.done);
        ASSERT_EQ(dialog_->State(), StateError);
        Shoot("7-error", dialog_->Window());
        dialog_.reset();
        SetCurrentLanguage(kLanguageEnglish);
    }
}

TEST_P(Screenshots, WelcomeDirectorySuccessAndCancelQuestionInEveryLanguage) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        const char* language = LanguageCode(id);
        SCOPED_TRACE(language);
        OpenIn(language);
        Shoot("1-welcome", dialog_->Window());

        QuestionShot question{[&](GtkWidget*) { Shoot("2-cancel-question", nullptr); }};
        const ScopedTimeout timeout7(50, QuestionShot::Step, &question);
        gtk_button_clicked(GTK_BUTTON(dialog_->CancelButton()));
        EXPECT_TRUE(question.done);

        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        Shoot("3-directory", dialog_->Window());

        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        const ScopedTimeout timeout8(10, FinishJob, dialog_.get());
        gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
        ASSERT_EQ(dialog_->State(), StateSuccess);
        Shoot("5-success", dialog_->Window());
        dialog_.reset();
        SetCurrentLanguage(kLanguageEnglish);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Screenshots,
                         ::testing::Values(ShotSize{"Sans 10", 96, ""}, ShotSize{"Sans 14", 96, "@1.4x"},
                                           ShotSize{"Sans 10", 144, "@1.5x"}),
                         [](const ::testing::TestParamInfo<ShotSize>& size) {
                             return std::string(size.index == 0 ? "DesignFont" : size.index == 1 ? "Sans14" : "Dpi144");
                         });

}  // namespace
