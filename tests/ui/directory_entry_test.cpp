// The template directory the user means: "~" and relative entries resolved on
// Next, unusable directories turned away on the page, Enter as Next, where the
// keyboard focus lands, and the wizard owning its message boxes.

#include <pwd.h>
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
#include "ui/failure_reason.h"
#include "ui/message_box.h"
#include "ui/target_check.h"
#include "ui/target_path.h"
#include "wizard_fixture.h"

using namespace vxk5;

namespace {

// Changes the current directory for the life of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& directory) {
        char* old = getcwd(nullptr, 0);
        if (old != nullptr) old_ = old;
        std::free(old);
        EXPECT_EQ(chdir(directory.c_str()), 0) << directory;
    }
    ~ScopedCwd() { EXPECT_EQ(chdir(old_.c_str()), 0) << old_; }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string old_;
};

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

// root's home directory as the password database gives it.
std::string RootHome() {
    const passwd* root = getpwnam("root");
    std::string home = root != nullptr ? root->pw_dir : "";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string Resolved(const std::string& typed) {
    WString absolute = u"(untouched)";
    if (!ResolveTargetPath(FromMultiByte(typed), absolute)) return "(unresolved)";
    return ToMultiByteString(absolute);
}

TEST(TargetPath, HomePrefixAndRelativeEntriesBecomeAbsoluteAndNothingElseChanges) {
    TempDir temp;
    MakeDirectories(temp.path("home"));
    MakeDirectories(temp.path("cwd"));
    const std::string home = temp.path("home");
    ScopedEnv homeVariable("HOME", home + "//");  // its trailing slashes are not doubled
    ScopedCwd cwd(temp.path("cwd"));
    const std::string here = RealPath(temp.path("cwd"));

    const struct {
        const char* typed;
        std::string expected;
    } cases[] = {
        {"~", home},
        {"~/", home + "/"},
        {"~/x", home + "/x"},
        {"~/x/y/", home + "/x/y/"},
        {"~root", RootHome()},
        {"~root/x", RootHome() + "/x"},
        {"~no-such-user-vxk5/x", "(unresolved)"},  // a user the password database does not know
        {"~no-such-user-vxk5", "(unresolved)"},
        {"x~/y", here + "/x~/y"},
        {"rel/x", here + "/rel/x"},
        {"rel/x/", here + "/rel/x/"},
        {"./a/../b", here + "/./a/../b"},  // not folded
        {"  spaced  ", here + "/  spaced  "},  // not trimmed
        {"/abs/~/x", "/abs/~/x"},
        {"/abs/ x /", "/abs/ x /"},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Resolved(c.typed), c.expected) << c.typed;
    EXPECT_EQ(ToMultiByteString(ExpandHomePrefix(u"rel/x")), "rel/x") << "expansion alone leaves a relative path relative";

    {
        ScopedEnv rootHome("HOME", "/");
        EXPECT_EQ(Resolved("~"), "/");
        EXPECT_EQ(Resolved("~/x"), "/x");
    }
    {
        ScopedEnv noHome("HOME", "");
        EXPECT_EQ(Resolved("~/x"), here + "/~/x") << "without a home directory \"~\" is just a name";
    }
}

TEST(TargetPath, BlanksAroundATextAreTrimmed) {
    EXPECT_EQ(ToMultiByteString(TrimBlanks(u"  /a b/ \t")), "/a b/");
    EXPECT_EQ(ToMultiByteString(TrimBlanks(u"\u00A0 \t")), "");
    EXPECT_EQ(ToMultiByteString(TrimBlanks(u"x")), "x");
}

TEST(TargetPath, RelativeEntryWithAVanishedCurrentDirectoryIsNotResolved) {
    TempDir temp;
    MakeDirectories(temp.path("gone"));
    ScopedCwd cwd(temp.path("gone"));
    ASSERT_EQ(rmdir(temp.path("gone").c_str()), 0);
    EXPECT_EQ(Resolved("rel/x"), "(unresolved)");
    EXPECT_EQ(Resolved("/abs/x"), "/abs/x");
}

TEST(TargetCheck, NamesThatCannotBecomeATemplateDirectoryAreTurnedAway) {
    TempDir temp;
    const std::string root = temp.path("t");
    MakeDirectories(root + "/existing");
    WriteFile(root + "/file", "a file");
    ASSERT_EQ(symlink((root + "/existing").c_str(), (root + "/to-dir").c_str()), 0);
    ASSERT_EQ(symlink((root + "/nowhere").c_str(), (root + "/dangling").c_str()), 0);
    ASSERT_EQ(symlink((root + "/file").c_str(), (root + "/to-file").c_str()), 0);

    const struct {
        std::string path;
        bool usable;
    } cases[] = {
        {root + "/existing", true},
        {root + "/existing/", true},
        {root + "/missing", true},
        {root + "/missing/deeper/still/", true},
        {root + "/to-dir/new", true},
        {root + "/file", false},
        {root + "/file/", false},
        {root + "/file/sub", false},
        {root + "/file/sub/deeper/", false},
        {root + "/to-file/sub", false},
        {root + "/dangling", false},
        {root + "/dangling/sub", false},
        {"relative/path", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUsableTarget(FromMultiByte(c.path)), c.usable) << c.path;

    if (geteuid() != 0) {  // the superuser may write anywhere
        MakeDirectories(root + "/locked");
        ASSERT_EQ(chmod((root + "/locked").c_str(), 0555), 0);
        EXPECT_FALSE(IsUsableTarget(FromMultiByte(root + "/locked")));
        EXPECT_FALSE(IsUsableTarget(FromMultiByte(root + "/locked/new/")));
        chmod((root + "/locked").c_str(), 0755);
    }
}

TEST(FailureReason, PathAndTheSystemsReasonInTheUsersLocale) {
    const std::string english = std::strerror(ENOSPC);
    EXPECT_EQ(ToMultiByteString(DescribeFailure({"/t/README.de.txt", ENOSPC})), "/t/README.de.txt: " + english);
    EXPECT_EQ(ToMultiByteString(DescribeFailure({"", EACCES})), std::strerror(EACCES));
    EXPECT_EQ(ToMultiByteString(DescribeFailure({"/t/only-path", 0})), "/t/only-path");
    EXPECT_EQ(ToMultiByteString(DescribeFailure({})), "");

    const std::string before = std::setlocale(LC_MESSAGES, nullptr);
    if (std::setlocale(LC_MESSAGES, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale";
    const std::string german = ToMultiByteString(DescribeFailure({"/t/a", ENOSPC}));
    std::setlocale(LC_MESSAGES, before.c_str());
    EXPECT_EQ(german.rfind("/t/a: ", 0), 0u) << german;
    EXPECT_NE(german, "/t/a: " + english) << "worded in the user's language";
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
// turned away on the page.
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
        EXPECT_EQ(answer.Text(), Text("IDS_ERROR_BADTARGET"));
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
