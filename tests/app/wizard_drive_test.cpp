// The real installer on the test display, driven with xdotool by clicks at the
// centres of the fixed layout's buttons and entry.

#include <signal.h>

#include <cstdlib>
#include <sstream>

#include "installer_run.h"
#include "ui/layout.h"

using namespace vxk5;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

class WizardDrive : public InstallerRun {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0) GTEST_SKIP() << "no display";
        if (RunProgram({"xdotool", "version"}) != 0) GTEST_SKIP() << "xdotool is not installed";
    }

    // Windows titled like the installer: the wizard, and any message box it shows.
    std::vector<std::string> TitledWindows() {
        std::string out;
        RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^Installing configuration$"}, &out);
        return Lines(out);
    }

    // The wizard's window once it is ready for the user (the kit read), or,
    // with `ready` false, as soon as it is there.
    std::string FindWizard(bool ready = true) {
        std::string out;
        RunProgram({"timeout", "5", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                    "^Installing configuration$"},
                   &out);
        const std::vector<std::string> ids = Lines(out);
        if (ids.empty()) return std::string();
        if (ready && !WaitFor([&] { return WindowState(ids.front()) == "ready"; })) return std::string();
        return ids.front();
    }

    // What the installer says of its window for automation: "preparing" while
    // it reads the kit, then "ready"; empty when the window has none (or is gone).
    std::string WindowState(const std::string& window) {
        std::string out;
        RunProgram({"xprop", "-id", window, "_VXK5_STATE"}, &out);
        const size_t quote = out.find('"');
        if (quote == std::string::npos) return std::string();
        return out.substr(quote + 1, out.find('"', quote + 1) - quote - 1);
    }

    // Waits for a second window with the installer's title: a message box.
    std::string WaitForMessageBox(const std::string& wizard) {
        std::string found;
        WaitFor([&] {
            for (const std::string& id : TitledWindows()) {
                if (id != wizard) found = id;
            }
            return !found.empty();
        });
        return found;
    }

    bool Click(const std::string& window, const layout::Box& box) {
        return RunProgram({"xdotool", "mousemove", "--window", window, std::to_string(box.CentreX()),
                           std::to_string(box.CentreY()), "click", "1"}) == 0;
    }

    bool Keys(const std::string& window, const std::vector<std::string>& keys) {
        if (RunProgram({"timeout", "5", "xdotool", "windowfocus", "--sync", window}) != 0) return false;
        std::vector<std::string> argv = {"xdotool", "key", "--clearmodifiers"};
        argv.insert(argv.end(), keys.begin(), keys.end());
        return RunProgram(argv) == 0;
    }

    bool Type(const std::string& window, const std::string& text) {
        if (RunProgram({"timeout", "5", "xdotool", "windowfocus", "--sync", window}) != 0) return false;
        return RunProgram({"xdotool", "type", "--delay", "2", text}) == 0;
    }
};

TEST_F(WizardDrive, FullInstallIntoATypedDirectoryThenFinishOpensTheDescription) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({}, /*display=*/true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();

    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Next: the directory page
    const std::string target = temp_.path("typed/templates");
    ASSERT_TRUE(Click(wizard, layout::kDirectoryEntry));  // into the entry
    ASSERT_TRUE(Keys(wizard, {"ctrl+a", "BackSpace"}));
    ASSERT_TRUE(Type(wizard, target + "/"));
    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Next: copy

    ASSERT_TRUE(WaitFor([&] { return ReadFile(MainConfig()).find("typed") != std::string::npos; }))
        << "the directory is recorded after the copy; " << Errors();
    EXPECT_EQ(ReadFile(MainConfig()), "ConfigurationTemplatesLocation=" + target + "\n");
    EXPECT_EQ(ReadFile(target + "/forms/invoice.tpl"), "invoice template\n");
    EXPECT_EQ(ReadFile(target + "/forms/letters/letter.tpl"), "letter template\n");

    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Finish, the box ticked
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Opened(), target + "/doc/readme.html\n");
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WizardDrive, TildeTypedWithEnterInstallsUnderHomeAndRecordsTheAbsolutePath) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({}, /*display=*/true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();

    // The welcome page has Next focused; its release completes the click, so
    // the directory page is up before the keys that follow are handled.
    ASSERT_TRUE(Keys(wizard, {"Return"}));
    // The directory page has the focus in the entry: no click is needed to type.
    ASSERT_TRUE(Keys(wizard, {"ctrl+a", "BackSpace"}));
    ASSERT_TRUE(Type(wizard, "~/typed"));
    ASSERT_TRUE(Keys(wizard, {"Return"}));

    const std::string target = Home() + "/typed";
    ASSERT_TRUE(WaitFor([&] { return ReadFile(MainConfig()).find("typed") != std::string::npos; }))
        << "the directory is recorded after the copy; " << Errors();
    EXPECT_EQ(ReadFile(MainConfig()), "ConfigurationTemplatesLocation=" + target + "\n");
    EXPECT_EQ(ReadFile(target + "/forms/invoice.tpl"), "invoice template\n");
    EXPECT_EQ(ReadFile(target + "/forms/letters/letter.tpl"), "letter template\n");
    EXPECT_FALSE(PathExists(temp_.path("app/~"))) << "no directory named \"~\"";

    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Finish
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Opened(), target + "/doc/readme.html\n");
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WizardDrive, RelativeTypedDirectoryIsMadeUnderTheCurrentDirectoryAndRecordedAbsolute) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    const std::string work = temp_.path("work");
    MakeDirectories(work);
    Start({}, true, work);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();

    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Next: the directory page
    ASSERT_TRUE(Click(wizard, layout::kDirectoryEntry));  // into the entry
    ASSERT_TRUE(Keys(wizard, {"ctrl+a", "BackSpace"}));
    ASSERT_TRUE(Type(wizard, "rel/templates/"));
    ASSERT_TRUE(Keys(wizard, {"Return"}));

    const std::string target = work + "/rel/templates";
    ASSERT_TRUE(WaitFor([&] { return ReadFile(MainConfig()).find("rel") != std::string::npos; }))
        << "the directory is recorded after the copy; " << Errors();
    EXPECT_EQ(ReadFile(MainConfig()), "ConfigurationTemplatesLocation=" + target + "\n");
    EXPECT_EQ(ReadFile(target + "/forms/invoice.tpl"), "invoice template\n");
    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Finish
    ASSERT_EQ(Finish(), 0);
}

TEST_F(WizardDrive, EscapeAndYesOnTheWelcomePageEndsWithoutInstalling) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({}, true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();
    ASSERT_TRUE(Keys(wizard, {"Escape"}));
    const std::string question = WaitForMessageBox(wizard);
    ASSERT_FALSE(question.empty());
    ASSERT_TRUE(Keys(question, {"alt+y"}));
    ASSERT_EQ(Finish(), 0);
    EXPECT_FALSE(PathExists(DefaultTemplates()));
    EXPECT_FALSE(PathExists(MainConfig()));
    EXPECT_TRUE(Leftovers().empty()) << "the unpacked kit is deleted";
}

TEST_F(WizardDrive, FailingInstallShowsTheErrorBoxThenTheErrorPageAndChangesNothing) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    // A regular file stands where the kit needs the directory "forms".
    const std::string target = temp_.path("existing");
    MakeDirectories(target);
    WriteFile(target + "/forms", "not a directory");
    WriteFile(target + "/keep.txt", "kept");
    RecordLocation(target);
    const std::string before = Snapshot(target);
    const std::string configBefore = ReadFile(MainConfig());

    Start({}, true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();
    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // the directory page, proposing `target`
    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // copy
    const std::string box = WaitForMessageBox(wizard);
    ASSERT_FALSE(box.empty()) << "an error box";
    ASSERT_TRUE(Keys(box, {"Return"}));  // OK
    ASSERT_TRUE(WaitFor([&] { return TitledWindows().size() == 1; }));
    EXPECT_TRUE(child_->Running()) << "the error page waits for Finish";

    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // Finish
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_EQ(ReadFile(MainConfig()), configBefore);
    EXPECT_EQ(Opened(), "");
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WizardDrive, TerminationSignalOutsideCopyingEndsTheRunCleanly) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({}, true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();
    kill(child_->Pid(), SIGTERM);
    ASSERT_EQ(Finish(), 0) << "a normal end, not death by the signal";
    EXPECT_TRUE(Leftovers().empty()) << "the unpacked kit is deleted";
    EXPECT_FALSE(PathExists(DefaultTemplates()));
}

TEST_F(WizardDrive, TerminationSignalDuringTheCopyWaitsForTheCopyAndTheRecording) {
    WriteSampleTree(temp_.path("src"), 400);
    MakeKit(temp_.path("src"));
    Start({}, true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();
    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // the directory page
    ASSERT_TRUE(Click(wizard, layout::kNextButton));  // copy into the default directory
    ASSERT_TRUE(WaitFor([&] { return PathExists(DefaultTemplates()); })) << "copying has begun";
    kill(child_->Pid(), SIGTERM);
    ASSERT_EQ(Finish(), 0);
    EXPECT_TRUE(ReadFile(DefaultTemplates() + "bulk/file399.tpl") == std::string(4096, 'a' + 399 % 26))
        << "the copy was not cut short";
    EXPECT_NE(ReadFile(MainConfig()).find("ConfigurationTemplatesLocation="), std::string::npos);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WizardDrive, TerminationSignalWhileTheCancelQuestionIsUpEndsTheRunCleanly) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({}, true);
    const std::string wizard = FindWizard();
    ASSERT_FALSE(wizard.empty()) << Errors();
    ASSERT_TRUE(Click(wizard, layout::kCancelButton));  // Cancel: the question comes up
    ASSERT_FALSE(WaitForMessageBox(wizard).empty());
    kill(child_->Pid(), SIGINT);
    ASSERT_EQ(Finish(), 0);
    EXPECT_TRUE(Leftovers().empty());
}

// A kit that cannot be read: the window is there at once, saying it is
// preparing; the error box comes over it, and OK ends the run as before,
// with nothing installed and nothing left in the temporary directory.
TEST_F(WizardDrive, DamagedKitIsReportedOverTheWindowAndEndsTheRun) {
    WriteFile(Kit(), std::string(4096, 'x'));
    Start({}, true);
    const std::string wizard = FindWizard(false);
    ASSERT_FALSE(wizard.empty()) << Errors();
    const std::string box = WaitForMessageBox(wizard);
    ASSERT_FALSE(box.empty()) << "the error box";
    EXPECT_EQ(WindowState(wizard), "preparing") << "the window waits under the box";
    ASSERT_TRUE(Keys(box, {"Return"}));
    ASSERT_EQ(Finish(), 0);
    EXPECT_FALSE(PathExists(DefaultTemplates()));
    EXPECT_FALSE(PathExists(MainConfig()));
    EXPECT_TRUE(Leftovers().empty());
}

}  // namespace

namespace {

// A termination signal while the preparation waits for its box to be
// answered: the box goes, the preparation ends behind the gone window, and
// the run ends; it never hangs on the toolkit's lock.
TEST_F(WizardDrive, TerminationSignalWhileThePreparationsBoxIsUpEndsTheRun) {
    WriteFile(Kit(), std::string(4096, 'x'));
    Start({}, true);
    const std::string wizard = FindWizard(false);
    ASSERT_FALSE(wizard.empty()) << Errors();
    ASSERT_FALSE(WaitForMessageBox(wizard).empty());
    kill(child_->Pid(), SIGTERM);
    ASSERT_EQ(Finish(20), 0) << "the run hung";
    EXPECT_TRUE(Leftovers().empty());
}

}  // namespace
