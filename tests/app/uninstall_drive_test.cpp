// The real installer's uninstall wizard on the test display, answered with
// xdotool: Yes takes the installation back, No changes nothing; the result
// document and the exit status tell the outcome as for the headless run.

#include <cstdlib>
#include <sstream>

#include "installer_run.h"

namespace {

class UninstallWizardDrive : public InstallerRun {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0) GTEST_SKIP() << "no display";
        if (RunProgram({"xdotool", "version"}) != 0) GTEST_SKIP() << "xdotool is not installed";
        WriteSampleTree(temp_.path("src"));
        MakeKit(temp_.path("src"));
        Start({"/S"}, /*display=*/false);
        ASSERT_EQ(Finish(), 0) << Errors();
        ASSERT_EQ(ReadFile(DefaultTemplates() + "forms/invoice.tpl"), "invoice template\n");
    }

    std::string Result() const { return temp_.path("result.json"); }

    // The newest window titled as the uninstall is: its question, then its wizard.
    std::string WaitForWindow() {
        std::string found;
        WaitFor([&] {
            std::string out;
            RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^Uninstalling configuration$"}, &out);
            std::istringstream in(out);
            for (std::string line; std::getline(in, line);) {
                if (!line.empty()) found = line;
            }
            return !found.empty();
        });
        return found;
    }

    bool Keys(const std::string& window, const std::string& keys) {
        if (RunProgram({"timeout", "5", "xdotool", "windowfocus", "--sync", window}) != 0) return false;
        return RunProgram({"xdotool", "key", "--clearmodifiers", keys}) == 0;
    }
};

TEST_F(UninstallWizardDrive, YesTakesTheInstallationBackAndTheLauncherForgetsTheDirectory) {
    Start({"--uninstall", "--exit-status", "--result=" + Result()}, true);
    const std::string question = WaitForWindow();
    ASSERT_FALSE(question.empty()) << Errors();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/invoice.tpl"), "invoice template\n") << "nothing before Yes";
    ASSERT_TRUE(Keys(question, "alt+y"));
    ASSERT_TRUE(WaitFor([&] { return !PathExists(DefaultTemplates()); })) << Errors();
    std::string wizard;
    ASSERT_TRUE(WaitFor([&] { return (wizard = WaitForWindow()) != question; }));
    ASSERT_TRUE(Keys(wizard, "Return"));  // Finish
    ASSERT_EQ(Finish(), 0) << Errors();
    const std::string result = ReadFile(Result());
    EXPECT_NE(result.find("\"outcome\": \"uninstalled\""), std::string::npos) << result;
    EXPECT_NE(result.find("\"template_directory_removed\": true"), std::string::npos) << result;
    EXPECT_EQ(ReadFile(MainConfig()).find("tmplts"), std::string::npos) << ReadFile(MainConfig());
}

TEST_F(UninstallWizardDrive, NoChangesNothingAndEndsAsACancel) {
    const std::string before = Snapshot(DefaultTemplates());
    Start({"--uninstall", "--exit-status", "--result=" + Result()}, true);
    const std::string question = WaitForWindow();
    ASSERT_FALSE(question.empty()) << Errors();
    ASSERT_TRUE(Keys(question, "Return"));  // No is the default answer
    EXPECT_EQ(Finish(), 3) << Errors();
    EXPECT_EQ(Snapshot(DefaultTemplates()), before);
    EXPECT_NE(ReadFile(Result()).find("\"outcome\": \"cancelled\""), std::string::npos) << ReadFile(Result());

    // Silent, the same command line takes it back without asking.
    Start({"/S", "--uninstall", "--exit-status"}, true);
    EXPECT_EQ(Finish(), 0) << Errors();
    EXPECT_FALSE(PathExists(DefaultTemplates() + "forms/invoice.tpl"));
}

}  // namespace
