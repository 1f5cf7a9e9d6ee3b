// The success page's check box and Finish: the description is opened through
// the desktop's opener (a stub first on PATH here) only when it exists and the
// box is ticked.

#include <unistd.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

#include "base/conversion.h"
#include "ui/description_opener.h"
#include "ui/success_final_page.h"
#include "wizard_fixture.h"
#include "tests/support/kit_parts.h"

using namespace vxk5;

namespace {

// The file's content once it has some, pumping the main loop meanwhile; empty
// after 5 s without.
std::string WaitForContent(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        const std::string content = ReadFile(path);
        if (!content.empty()) return content;
        Pump();
        g_usleep(10 * 1000);
    }
    return std::string();
}

class FinishTest : public WizardTest {
protected:
    FinishTest() : path_("PATH", temp_.path("bin") + ":" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")) {
        MakeDirectories(temp_.path("bin"));
        const std::string stub = temp_.path("bin/xdg-open");
        // Written whole, then moved into place: a record is never seen half-made.
        WriteFile(stub, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + temp_.path("opening") + "'\nmv '" +
                            temp_.path("opening") + "' '" + temp_.path("opened") + "'\necho noise >&2\n");
        chmod(stub.c_str(), 0755);
    }

    // The success page for a kit whose English description is `description`.
    void Succeed(const std::u16string& description) {
        Make();
        AddKitDescription(dialog_->Kit(), {u"en", u"P", u"V", WString(description.c_str())});
        dialog_->BuildWindow();
        dialog_->ShowWelcomePage();
        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        const ScopedTimeout timeout1(10, FinishJob, dialog_.get());
        dialog_->StartInstallation();
        ASSERT_EQ(dialog_->State(), StateSuccess);
    }

    // What the opener was given: it runs detached, so this waits (up to 5 s)
    // for its record.
    std::string Opened() { return WaitForContent(temp_.path("opened")); }

    ScopedEnv path_;
};

TEST_F(FinishTest, TickedBoxOpensAnExistingDescriptionAsOneArgument) {
    const std::string dir = temp_.path("templates/");
    MakeDirectories(dir + "doc dir");
    WriteFile(dir + "doc dir/read me \"$HOME\" `x`.html", "<html/>");
    Succeed(u"doc dir\\read me \"$HOME\" `x`.html");
    EXPECT_EQ(dialog_->SuccessPage()->Widgets().size(), 3u);
    gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
    EXPECT_EQ(Opened(), dir + "doc dir/read me \"$HOME\" `x`.html|");
    EXPECT_EQ(dialog_->Window(), nullptr);
}

TEST_F(FinishTest, DirectoryWithoutItsTrailingSlashStillHoldsTheDescription) {
    const std::string dir = temp_.path("templates");
    MakeDirectories(dir);
    WriteFile(dir + "/readme.html", "<html/>");
    WriteFile(dir + "readme.html", "a file beside the directory, not the description");
    Make();
    dialog_->SetTemplateDirectory(FromMultiByte(AString(dir.c_str())));
    AddKitDescription(dialog_->Kit(), {u"en", u"P", u"V", u"readme.html"});
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
    const ScopedTimeout timeout2(10, FinishJob, dialog_.get());
    dialog_->StartInstallation();
    ASSERT_EQ(dialog_->State(), StateSuccess);
    gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
    EXPECT_EQ(Opened(), dir + "/readme.html|");
}

TEST_F(FinishTest, UntickedBoxOrMissingDocumentOpensNothing) {
    const std::string dir = temp_.path("templates/");
    MakeDirectories(dir);
    WriteFile(dir + "readme.html", "<html/>");
    Succeed(u"readme.html");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dialog_->SuccessPage()->CheckButton()), FALSE);
    gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
    EXPECT_EQ(dialog_->Window(), nullptr);
    dialog_.reset();

    Succeed(u"missing.html");
    gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
    EXPECT_EQ(dialog_->Window(), nullptr);
    // Nothing was started: there is nothing to wait for.
    EXPECT_EQ(ReadFile(temp_.path("opened")), "");
}

// An opener that runs the viewer in the foreground never ends while the user
// reads: Finish closes the wizard at once all the same, and the opener lives on.
TEST_F(FinishTest, FinishReturnsAtOnceWhileTheOpenerKeepsRunning) {
    const std::string stub = temp_.path("bin/xdg-open");
    WriteFile(stub, "#!/bin/sh\necho $$ > '" + temp_.path("opening") + "'\nmv '" + temp_.path("opening") + "' '" +
                        temp_.path("opened") + "'\nexec sleep 600\n");
    chmod(stub.c_str(), 0755);
    const std::string dir = temp_.path("templates/");
    MakeDirectories(dir);
    WriteFile(dir + "readme.html", "<html/>");
    Succeed(u"readme.html");
    const auto before = std::chrono::steady_clock::now();
    gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    EXPECT_EQ(dialog_->Window(), nullptr);
    EXPECT_LT(seconds, 1.0) << "Finish waited for the opener";
    const pid_t opener = std::atoi(Opened().c_str());
    ASSERT_GT(opener, 0);
    EXPECT_EQ(kill(opener, 0), 0) << "the opener still runs";
    EXPECT_EQ(getsid(opener), opener) << "in a session of its own";
    kill(opener, SIGKILL);
    // The main loop's child watch reaps it: no zombie is left behind.
    for (int i = 0; i < 200 && kill(opener, 0) == 0; ++i) {
        Pump();
        g_usleep(10 * 1000);
    }
    EXPECT_NE(kill(opener, 0), 0) << "reaped";
}

TEST_F(FinishTest, NoDescriptionOpensTheTemplateDirectoryItself) {
    MakeDirectories(temp_.path("templates"));
    Succeed(u"");
    gtk_button_clicked(GTK_BUTTON(dialog_->NextButton()));
    EXPECT_EQ(Opened(), temp_.path("templates/") + "|");
}

TEST(DescriptionOpener, PathStartingWithADashIsNotTakenForAnOption) {
    TempDir temp;
    const std::string stub = temp.path("opener");
    WriteFile(stub, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + temp.path("args") + "'\n");
    chmod(stub.c_str(), 0755);
    EXPECT_TRUE(OpenWithDesktop(AString("-rf x"), stub.c_str()));
    EXPECT_EQ(WaitForContent(temp.path("args")), "./-rf x|");
    EXPECT_FALSE(OpenWithDesktop(AString("/x"), temp.path("no-such-opener").c_str()));
}

}  // namespace
