// The template directory the user means: "~" and relative entries resolved on
// Next, unusable directories turned away on the page, Enter as Next, where the
// keyboard focus lands, and the wizard owning its message boxes.

#include <gdk/gdkkeysyms.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "base/conversion.h"
#include "ui/dir_select_page.h"
#include "ui/message_box.h"
#include "tests/support/scoped_cwd.h"
#include "wizard_fixture.h"

using namespace vxk5;

namespace {

// Turns the main loop until `done` holds or 10 s have passed; whether it holds.
template <typename Done>
bool PumpUntil(Done done) {
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!done() && g_get_monotonic_time() < deadline) {
        if (!gtk_main_iteration_do(FALSE)) g_usleep(1000);
    }
    return done();
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

class DirectoryEntry : public WizardTest {
protected:
    // On the directory page with the worker replaced: Next ends the job at once.
    void OpenOnDirectoryPage() {
        Open();
        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        ClickNext();
        ASSERT_EQ(dialog_->State(), StateDirectory);
    }

    void Type(const std::string& text) { gtk_entry_set_text(GTK_ENTRY(Entry()), text.c_str()); }
    GtkWidget* Entry() const { return dialog_->DirectoryPage()->Entry(); }
    std::string EntryText() const { return gtk_entry_get_text(GTK_ENTRY(Entry())); }
    std::string MainConfig() const { return ReadFile(temp_.path("home/.Vx/vxlstart/vxlstart.cfg")); }
};

TEST_F(DirectoryEntry, TildeAndRelativeEntriesAreInstalledShownAndRecordedAsAbsolutePaths) {
    MakeDirectories(temp_.path("cwd"));
    ScopedCwd cwd(temp_.path("cwd"));
    const struct {
        const char* typed;
        std::string stored;
    } cases[] = {{"~/x/", temp_.path("home") + "/x/"}, {"rel/x", RealPath(temp_.path("cwd")) + "/rel/x"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        OpenOnDirectoryPage();
        Type(c.typed);
        struct Probe {
            CInstallerDlg* dialog;
            std::string shown;
        } probe{dialog_.get(), ""};
        const ScopedTimeout timeout1(
            10,
            [](gpointer data) -> gboolean {
                auto* p = static_cast<Probe*>(data);
                if (p->dialog->State() != StateCopying) return TRUE;
                p->shown = ToMultiByteString(p->dialog->JobState().targetDirectory);
                return FinishJob(p->dialog);
            },
            &probe);
        ClickNext();
        ASSERT_EQ(dialog_->State(), StateSuccess);
        EXPECT_EQ(ToMultiByteString(dialog_->TemplateDirectory()), c.stored);
        EXPECT_EQ(probe.shown, c.stored.back() == '/' ? c.stored : c.stored + "/")
            << "the job is given the absolute path (as a directory)";
        EXPECT_EQ(EntryText(), c.stored) << "the page shows what was used";
        std::string recorded = c.stored;
        if (recorded.back() == '/') recorded.pop_back();
        EXPECT_EQ(MainConfig().rfind("ConfigurationTemplatesLocation=" + recorded + "\n", 0), 0u) << MainConfig();
        dialog_.reset();
    }
}

TEST_F(DirectoryEntry, UnusableDirectoryIsNamedInABoxAndTheUserStaysOnThePage) {
    const std::string file = temp_.path("home/notes.txt");
    WriteFile(file, "a file");
    OpenOnDirectoryPage();
    const WString stored = dialog_->TemplateDirectory();
    const struct {
        std::string typed;
        std::string named;
    } cases[] = {{file, file}, {file + "/sub/", file + "/sub/"}, {"~/notes.txt", file}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Type(c.typed);
        DialogAnswerer answer(GTK_RESPONSE_OK);
        ClickNext();
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(), Text("IDS_ERROR_BADTARGET"));
        EXPECT_EQ(answer.Text().back(), '.');
        EXPECT_EQ(answer.Secondary(), c.named) << "the path on its own line";
        EXPECT_EQ(answer.Type(), GTK_MESSAGE_ERROR);
        EXPECT_TRUE(answer.HasOkOnly());
        EXPECT_EQ(answer.Parent(), GTK_WINDOW(dialog_->Window()));
        EXPECT_EQ(dialog_->State(), StateDirectory);
        EXPECT_EQ(EntryText(), c.typed) << "the entry is left as typed";
        EXPECT_EQ(dialog_->TemplateDirectory(), stored);
    }
    EXPECT_FALSE(PathExists(temp_.path("home/.Vx"))) << "nothing recorded";
}

// Blanks are never part of what is installed into or recorded; blanks alone
// are no entry at all; "~user" is a user's home, and a user nobody knows is
// turned away on the page, as such.
TEST_F(DirectoryEntry, BlanksAndOtherUsersHomes) {
    OpenOnDirectoryPage();
    const WString stored = dialog_->TemplateDirectory();
    for (const char* blanks : {"   ", " \t ", ""}) {
        Type(blanks);
        DialogAnswerer answer(GTK_RESPONSE_OK);
        ClickNext();
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(), Text("IDS_SETUP_EMPTYTARGET")) << "[" << blanks << "]";
        EXPECT_EQ(dialog_->State(), StateDirectory);
    }
    {
        Type("~no-such-user-vxk5/tpl");
        DialogAnswerer answer(GTK_RESPONSE_OK);
        ClickNext();
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(), Text("IDS_ERROR_UNKNOWNUSER")) << "said as what it is, not as an unusable directory";
        EXPECT_EQ(answer.Secondary(), "~no-such-user-vxk5/tpl");
        EXPECT_EQ(dialog_->State(), StateDirectory);
        EXPECT_EQ(dialog_->TemplateDirectory(), stored);
    }
    EXPECT_FALSE(PathExists(temp_.path("home/.Vx"))) << "nothing recorded";

    const std::string target = temp_.path("spaced");
    Type("  " + target + "   ");
    const ScopedTimeout timeout1(10, FinishJob, dialog_.get());
    ClickNext();
    ASSERT_EQ(dialog_->State(), StateSuccess);
    EXPECT_EQ(ToMultiByteString(dialog_->TemplateDirectory()), target);
    EXPECT_EQ(MainConfig().rfind("ConfigurationTemplatesLocation=" + target + "\n", 0), 0u) << MainConfig();
}

// "~" and "." are easily typed: installing into the home folder itself or the
// folder the installer was started from is asked about first, naming the
// directory ("." as the directory it is). No keeps the page; Yes installs.
TEST_F(DirectoryEntry, HomeAndStartDirectoriesAreAskedAboutFirst) {
    MakeDirectories(temp_.path("start"));
    ScopedCwd cwd(temp_.path("start"));
    const std::string start = RealPath(temp_.path("start"));
    const std::string home = temp_.path("home");
    OpenOnDirectoryPage();
    const WString stored = dialog_->TemplateDirectory();
    const struct {
        const char* typed;
        std::string named;
    } cases[] = {{"~", home}, {"~/", home + "/"}, {".", start}, {"./", start + "/"}, {start.c_str(), start}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Type(c.typed);
        DialogAnswerer answer(GTK_RESPONSE_NO);
        ClickNext();
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(), Text("IDS_SETUP_EXISTEDTARGET"));
        EXPECT_EQ(answer.Secondary(), c.named);
        EXPECT_EQ(answer.Type(), GTK_MESSAGE_QUESTION);
        EXPECT_TRUE(answer.HasYesNo());
        EXPECT_EQ(dialog_->State(), StateDirectory);
        EXPECT_EQ(EntryText(), c.typed) << "the entry is left as typed";
        EXPECT_EQ(dialog_->TemplateDirectory(), stored);
    }
    EXPECT_FALSE(PathExists(temp_.path("home/.Vx"))) << "nothing recorded";

    // Below them, or not there yet: no question.
    Type("./templates/.");
    {
        const ScopedTimeout finish(10, FinishJob, dialog_.get());
        ClickNext();
    }
    ASSERT_EQ(dialog_->State(), StateSuccess);
    EXPECT_EQ(ToMultiByteString(dialog_->TemplateDirectory()), start + "/templates");
    dialog_.reset();

    OpenOnDirectoryPage();
    Type(".");
    DialogAnswerer yes(GTK_RESPONSE_YES);
    const ScopedTimeout finish(10, FinishJob, dialog_.get());
    ClickNext();
    ASSERT_TRUE(yes.Answered());
    ASSERT_EQ(dialog_->State(), StateSuccess);
    EXPECT_EQ(ToMultiByteString(dialog_->TemplateDirectory()), start);
    EXPECT_EQ(EntryText(), start) << "shown as the directory it names";
}

TEST_F(DirectoryEntry, EnterInTheEntryIsNextEmptyMessageIncluded) {
    OpenOnDirectoryPage();
    ASSERT_TRUE(gtk_widget_is_focus(Entry()));
    Type("");
    {
        DialogAnswerer answer(GTK_RESPONSE_OK);
        SendKey(dialog_->Window(), GDK_Return);
        // GTK shows a keyboard-activated button pressed for a moment before "clicked".
        ASSERT_TRUE(PumpUntil([&] { return answer.Answered(); })) << "Enter asks as a click on Next does";
        EXPECT_EQ(answer.Text(), "Specify correct path to template directory.");
        EXPECT_EQ(answer.Parent(), GTK_WINDOW(dialog_->Window()));
        EXPECT_EQ(answer.Position(), GTK_WIN_POS_CENTER_ON_PARENT);
    }
    EXPECT_EQ(dialog_->State(), StateDirectory);

    const std::string target = temp_.path("by-enter/");
    Type(target);
    const ScopedTimeout timeout2(10, FinishJob, dialog_.get());
    SendKey(dialog_->Window(), GDK_Return);
    ASSERT_TRUE(PumpUntil([&] { return dialog_->State() == StateSuccess; }));
    EXPECT_EQ(ToMultiByteString(dialog_->TemplateDirectory()), target);
}

TEST_F(DirectoryEntry, FocusIsOnNextThenInTheEntryWithTheEndOfALongPathInView) {
    Make();
    std::string longPath = temp_.path("");
    for (int i = 0; i < 8; ++i) longPath += "a-rather-long-folder-name-" + std::to_string(i) + "/";
    dialog_->SetTemplateDirectory(FromMultiByte(longPath));
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    Pump();
    EXPECT_TRUE(gtk_widget_is_focus(dialog_->NextButton())) << "the welcome page focuses Next";

    for (int round = 0; round < 2; ++round) {  // also when the page is shown again
        SCOPED_TRACE(round);
        ClickNext();
        Pump();
        EXPECT_TRUE(gtk_widget_is_focus(Entry()));
        EXPECT_EQ(gtk_editable_get_position(GTK_EDITABLE(Entry())), static_cast<gint>(longPath.size()));
        EXPECT_FALSE(gtk_editable_get_selection_bounds(GTK_EDITABLE(Entry()), nullptr, nullptr))
            << "nothing selected: typing does not wipe the path";
        gint scrolled = 0;
        g_object_get(Entry(), "scroll-offset", &scrolled, nullptr);
        EXPECT_GT(scrolled, 0) << "the end of the path is in view";
        ClickBack();
        Pump();
        EXPECT_TRUE(gtk_widget_is_focus(dialog_->NextButton()));
    }
}

TEST_F(DirectoryEntry, MessageBoxesBelongToTheWizardOnlyWhileItExists) {
    Make();
    {
        DialogAnswerer answer(GTK_RESPONSE_OK);
        MessageBox(dialog_.get(), u"before the window", MB_STYLE_ERROR_OK);
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Parent(), nullptr);
        EXPECT_EQ(answer.Position(), GTK_WIN_POS_CENTER);
    }
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    {
        GtkWindow* wizard = GTK_WINDOW(dialog_->Window());
        DialogAnswerer answer(GTK_RESPONSE_YES);
        ClickCancel();
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(), "Do you really want to cancel installation?");
        EXPECT_EQ(answer.Parent(), wizard);
        EXPECT_EQ(answer.Position(), GTK_WIN_POS_CENTER_ON_PARENT);
    }
    ASSERT_EQ(dialog_->Window(), nullptr);
    {
        DialogAnswerer answer(GTK_RESPONSE_OK);
        MessageBox(dialog_.get(), u"after the window", MB_STYLE_ERROR_OK, u"/some/path: reason");
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Parent(), nullptr);
        EXPECT_EQ(answer.Secondary(), "/some/path: reason");
    }
    {
        DialogAnswerer answer(GTK_RESPONSE_OK);
        MessageBox(nullptr, u"undecodable", MB_STYLE_ERROR_OK, FromMultiByte(AString("/bad/\xff\xfe-name")));
        ASSERT_TRUE(answer.Answered());
        EXPECT_TRUE(g_utf8_validate(answer.Secondary().c_str(), -1, nullptr));
        EXPECT_EQ(answer.Secondary().rfind("/bad/", 0), 0u) << "still shown, its bad bytes replaced";
    }
}

}  // namespace
