// The success page's check box and Finish: the description is opened through
// the desktop's opener (a stub first on PATH here) only when it exists and the
// box is ticked.

#include <unistd.h>

#include <sys/stat.h>

#include "ui/description_opener.h"
#include "ui/success_final_page.h"
#include "wizard_fixture.h"

using namespace vxk5;

namespace {

class FinishTest : public WizardTest {
protected:
    FinishTest() : path_("PATH", temp_.path("bin") + ":" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")) {
        MakeDirectories(temp_.path("bin"));
        const std::string stub = temp_.path("bin/xdg-open");
        WriteFile(stub, "#!/bin/sh\nprintf '%s|' \"$@\" >> '" + temp_.path("opened") + "'\necho noise >&2\n");
        chmod(stub.c_str(), 0755);
    }

    // The success page for a kit whose English description is `description`.
    void Succeed(const std::u16string& description) {
        Make();
        dialog_->Kit().descriptions.push_back({u"en", u"P", u"V", WString(description.c_str())});
        dialog_->BuildWindow();
        dialog_->ShowWelcomePage();
        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        const ScopedTimeout timeout1(10, FinishJob, dialog_.get());
        dialog_->StartInstallation();
        ASSERT_EQ(dialog_->State(), StateSuccess);
    }

    std::string Opened() { return ReadFile(temp_.path("opened")); }

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
    dialog_->Kit().descriptions.push_back({u"en", u"P", u"V", u"readme.html"});
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
    EXPECT_EQ(Opened(), "");
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
    EXPECT_EQ(ReadFile(temp.path("args")), "./-rf x|");
    EXPECT_FALSE(OpenWithDesktop(AString("/x"), temp.path("no-such-opener").c_str()));
}

}  // namespace
