// Page states, transitions, the button table, Escape and the cancel question.

#include <gdk/gdkkeysyms.h>

#include "ui/dir_select_page.h"
#include "ui/layout.h"
#include "ui/message_page.h"
#include "ui/message_box.h"
#include "wizard_fixture.h"
#include "tests/support/kit_parts.h"

using namespace vxk5;

namespace {

using Navigation = WizardTest;

static_assert(layout::kWindowWidth == 500 && layout::kWindowHeight == 360, "the wizard is 500 x 360");

TEST_F(Navigation, WindowIsFixedAt500By360WithButtonsInTheirPlaces) {
    Open();
    GtkWidget* window = dialog_->Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(window))), "Installing configuration");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window)));
    EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(window)), GDK_WINDOW_TYPE_HINT_MENU);
    EXPECT_NE(gtk_window_get_icon(GTK_WINDOW(window)), nullptr);

    GtkAllocation area;
    gtk_widget_get_allocation(window, &area);
    EXPECT_EQ(area.width, layout::kWindowWidth);
    EXPECT_EQ(area.height, layout::kWindowHeight);
    gtk_window_resize(GTK_WINDOW(window), 700, 500);
    Pump();
    gtk_widget_get_allocation(window, &area);
    EXPECT_EQ(area.width, layout::kWindowWidth) << "the size hints keep the window at its size";

    const struct {
        GtkWidget* button;
        layout::Box box;
        const char* label;
    } buttons[] = {{dialog_->BackButton(), layout::kBackButton, "< Back"},
                   {dialog_->NextButton(), layout::kNextButton, "Next >"},
                   {dialog_->CancelButton(), layout::kCancelButton, "Cancel"}};
    for (const auto& b : buttons) {
        gtk_widget_get_allocation(b.button, &area);
        EXPECT_EQ(area.x, b.box.x) << b.label;
        EXPECT_EQ(area.y, b.box.y) << b.label;
        EXPECT_EQ(area.width, b.box.width) << b.label;
        EXPECT_EQ(area.height, b.box.height) << b.label;
        EXPECT_EQ(ButtonLabel(b.button), b.label);
    }
    EXPECT_TRUE(gtk_widget_has_default(dialog_->NextButton()));
}

TEST_F(Navigation, WelcomePageGreetsWithTheKitsNamesForTheLanguage) {
    Make();
    AddKitDescription(dialog_->Kit(), {u"de", u"Vorlagen", u"Firma", u""});
    AddKitDescription(dialog_->Kit(), {u"EN", u"Office Templates", u"Acme Ltd", u""});
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    ASSERT_NE(dialog_->WelcomePage(), nullptr);
    EXPECT_EQ(LabelText(dialog_->WelcomePage()->Label()),
              "Welcome to the product installation program Office Templates (Acme Ltd).");
}

TEST_F(Navigation, WelcomePageFallsBackToPlaceholderNames) {
    Make();
    AddKitDescription(dialog_->Kit(), {u"de", u"Vorlagen", u"Firma", u""});
    AddKitDescription(dialog_->Kit(), {u"en", u"Office Templates", u"", u""});
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    EXPECT_EQ(LabelText(dialog_->WelcomePage()->Label()),
              "Welcome to the product installation program Office Templates (<Vendor>).");

    dialog_.reset();
    Make();
    dialog_->BuildWindow();
    dialog_->ShowWelcomePage();
    EXPECT_EQ(LabelText(dialog_->WelcomePage()->Label()),
              "Welcome to the product installation program <Product> (<Vendor>).");
}

TEST_F(Navigation, ButtonTableThroughWelcomeAndDirectoryPages) {
    Make();
    dialog_->BuildWindow();
    EXPECT_EQ(dialog_->State(), StateNone);
    for (GtkWidget* b : {dialog_->BackButton(), dialog_->NextButton(), dialog_->CancelButton()}) {
        EXPECT_TRUE(IsShown(b));
        EXPECT_TRUE(IsSensitive(b));
    }

    dialog_->ShowWelcomePage();
    EXPECT_EQ(dialog_->State(), StateWelcome);
    EXPECT_FALSE(IsSensitive(dialog_->BackButton()));
    EXPECT_TRUE(IsSensitive(dialog_->NextButton()));
    EXPECT_TRUE(IsSensitive(dialog_->CancelButton()));
    EXPECT_EQ(dialog_->CurrentPage(), dialog_->WelcomePage());

    ClickBack();  // insensitive, and the welcome page has nowhere to go back to
    EXPECT_EQ(dialog_->State(), StateWelcome);

    ClickNext();
    EXPECT_EQ(dialog_->State(), StateDirectory);
    EXPECT_EQ(dialog_->CurrentPage(), dialog_->DirectoryPage());
    EXPECT_TRUE(IsSensitive(dialog_->BackButton()));
    EXPECT_TRUE(IsSensitive(dialog_->NextButton()));
    EXPECT_TRUE(IsSensitive(dialog_->CancelButton()));
    Pump();
    // The welcome page's widgets are hidden, the directory page's shown.
    for (GtkWidget* w : dialog_->WelcomePage()->Widgets()) EXPECT_FALSE(IsShown(w));
    for (GtkWidget* w : dialog_->DirectoryPage()->Widgets()) EXPECT_TRUE(IsShown(w));

    ClickBack();
    EXPECT_EQ(dialog_->State(), StateWelcome);
    EXPECT_FALSE(IsSensitive(dialog_->BackButton()));
    for (GtkWidget* w : dialog_->DirectoryPage()->Widgets()) EXPECT_FALSE(IsShown(w));
}

TEST_F(Navigation, SilentWelcomeHidesBackAndNext) {
    Open(/*silent=*/true);
    EXPECT_FALSE(IsShown(dialog_->BackButton()));
    EXPECT_FALSE(IsShown(dialog_->NextButton()));
    EXPECT_TRUE(IsShown(dialog_->CancelButton()));
    EXPECT_TRUE(IsSensitive(dialog_->CancelButton()));
}

TEST_F(Navigation, DirectoryPageShowsTheStoredDirectoryAfterBackAndNext) {
    Open();
    dialog_->SetTemplateDirectory(u"/srv/stored/templates/");
    ClickNext();
    DirSelectPage* page = dialog_->DirectoryPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetDirectory(), u"/srv/stored/templates/");
    EXPECT_EQ(LabelText(page->CaptionLabel()), "Template directory:");
    EXPECT_EQ(ButtonLabel(page->BrowseButton()), "...");

    gtk_entry_set_text(GTK_ENTRY(page->Entry()), "/typed/but/not/accepted");
    ClickBack();
    ClickNext();
    EXPECT_EQ(page, dialog_->DirectoryPage()) << "the page is reused";
    EXPECT_EQ(page->GetDirectory(), u"/srv/stored/templates/");
    EXPECT_EQ(dialog_->TemplateDirectory(), u"/srv/stored/templates/");
}

// Answers the folder chooser: in `folder` with ACCEPT, or at once with `response`.
struct ChooserAnswer {
    std::string folder;
    gint response;
    bool folderSet = false;
    bool answered = false;
    int polls = 0;
    GtkWindow* parent = nullptr;
    GtkWindowPosition position = GTK_WIN_POS_NONE;

    static gboolean Poll(gpointer self) {
        auto* answer = static_cast<ChooserAnswer*>(self);
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* chooser = nullptr;
        for (GList* item = windows; item != nullptr; item = item->next) {
            if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
                chooser = GTK_WIDGET(item->data);
            }
        }
        g_list_free(windows);
        if (chooser == nullptr) return TRUE;
        answer->parent = gtk_window_get_transient_for(GTK_WINDOW(chooser));
        g_object_get(chooser, "window-position", &answer->position, nullptr);
        if (answer->response == GTK_RESPONSE_ACCEPT) {
            if (!answer->folderSet) {
                gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), answer->folder.c_str());
                answer->folderSet = true;
                return TRUE;
            }
            gchar* current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
            const bool there = current != nullptr && answer->folder == current;
            g_free(current);
            if (!there) {
                // The chooser moves there asynchronously, and its own move to
                // the entry's folder may land after ours: ask again now and
                // then, and give up (the test then fails) rather than hang.
                if (++answer->polls > 1000) {
                    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
                    return FALSE;
                }
                if (answer->polls % 20 == 0) {
                    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), answer->folder.c_str());
                }
                return TRUE;
            }
        }
        answer->answered = true;
        gtk_dialog_response(GTK_DIALOG(chooser), answer->response);
        return FALSE;
    }
};

TEST_F(Navigation, FolderChooserReplacesTheEntryOnlyWhenAccepted) {
    Open();
    ClickNext();
    DirSelectPage* page = dialog_->DirectoryPage();
    page->SetDirectory(u"C:\\typed");
    const std::string folder = temp_.path("chosen");
    MakeDirectories(folder);

    ChooserAnswer cancel{folder, GTK_RESPONSE_CANCEL};
    const ScopedTimeout timeout1(10, ChooserAnswer::Poll, &cancel);
    gtk_button_clicked(GTK_BUTTON(page->BrowseButton()));
    ASSERT_TRUE(cancel.answered);
    EXPECT_EQ(page->GetDirectory(), u"C:\\typed");
    EXPECT_EQ(cancel.parent, GTK_WINDOW(dialog_->Window())) << "the chooser stays with the wizard";
    EXPECT_EQ(cancel.position, GTK_WIN_POS_CENTER_ON_PARENT);

    ChooserAnswer accept{folder, GTK_RESPONSE_ACCEPT};
    const ScopedTimeout timeout2(10, ChooserAnswer::Poll, &accept);
    gtk_button_clicked(GTK_BUTTON(page->BrowseButton()));
    ASSERT_TRUE(accept.answered);
    EXPECT_EQ(ToMultiByte(page->GetDirectory()).c_str(), folder);
}

TEST_F(Navigation, EmptyDirectoryIsRefusedWithAPlainMessage) {
    Open();
    ClickNext();
    gtk_entry_set_text(GTK_ENTRY(dialog_->DirectoryPage()->Entry()), "");
    DialogAnswerer answer(GTK_RESPONSE_OK);
    ClickNext();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(answer.Text(), "Specify correct path to template directory.");
    EXPECT_EQ(answer.Type(), GTK_MESSAGE_OTHER);
    EXPECT_TRUE(answer.HasOkOnly());
    EXPECT_EQ(answer.Title(), "Installing configuration");
    EXPECT_EQ(dialog_->State(), StateDirectory);
    EXPECT_EQ(dialog_->DirectoryPage()->GetDirectory(), u"");
    EXPECT_NE(dialog_->TemplateDirectory(), u"") << "the stored directory is kept";
}

TEST_F(Navigation, EscapeAsksOnEveryPageAndNoKeepsThePage) {
    Open();
    for (WizardState expected : {StateWelcome, StateDirectory}) {
        if (expected == StateDirectory) ClickNext();
        DialogAnswerer answer(GTK_RESPONSE_NO);
        SendKey(dialog_->Window(), GDK_Escape);
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(), "Do you really want to cancel installation?");
        EXPECT_EQ(answer.Type(), GTK_MESSAGE_QUESTION);
        EXPECT_TRUE(answer.HasYesNo());
        EXPECT_EQ(answer.Title(), "Installing configuration");
        EXPECT_EQ(dialog_->State(), expected);
        EXPECT_NE(dialog_->Window(), nullptr);
    }
}

TEST_F(Navigation, CancelClosedWithoutAnAnswerKeepsThePage) {
    Open();
    DialogAnswerer answer(GTK_RESPONSE_DELETE_EVENT);
    ClickCancel();
    ASSERT_TRUE(answer.Answered());
    EXPECT_NE(dialog_->Window(), nullptr);
    EXPECT_EQ(dialog_->State(), StateWelcome);
}

TEST_F(Navigation, CancelAnsweredYesDestroysTheWindow) {
    Open();
    ClickNext();
    DialogAnswerer answer(GTK_RESPONSE_YES);
    ClickCancel();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(dialog_->Window(), nullptr);
}

TEST_F(Navigation, EscapeAnsweredYesOnTheWelcomePageDestroysTheWindow) {
    Open();
    DialogAnswerer answer(GTK_RESPONSE_YES);
    SendKey(dialog_->Window(), GDK_Escape);
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(dialog_->Window(), nullptr);
}

TEST_F(Navigation, OtherKeysAreLeftToGtk) {
    Open();
    SendKey(dialog_->Window(), GDK_a);
    Pump();
    EXPECT_EQ(CountMessageDialogs(), 0);
    EXPECT_EQ(dialog_->State(), StateWelcome);
}

TEST_F(Navigation, CloseRequestOutsideCopyingClosesWithoutAQuestion) {
    Open();
    SendDelete(dialog_->Window());
    Pump();
    EXPECT_EQ(dialog_->Window(), nullptr);
}

TEST_F(Navigation, GermanLabelsWithTheGermanLanguage) {
    Open(false, "de");
    const std::string back = Text("IDS_WIZARD_BACK");
    ASSERT_FALSE(back.empty());
    EXPECT_NE(back, "< Back");
    EXPECT_EQ(ButtonLabel(dialog_->BackButton()), back);
    EXPECT_EQ(ButtonLabel(dialog_->NextButton()), Text("IDS_WIZARD_NEXT"));
    EXPECT_EQ(ButtonLabel(dialog_->CancelButton()), Text("IDS_WIZARD_CANCEL"));
    EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(dialog_->Window()))), Text("IDR_MAINFRAME"));
    EXPECT_EQ(LabelText(dialog_->WelcomePage()->Label()),
              Text("IDS_WELCOME_TITLE") + " " + Text("IDS_DEFPRODUCT") + " (" + Text("IDS_DEFPROVIDER") + ").");
    ClickNext();
    EXPECT_EQ(LabelText(dialog_->DirectoryPage()->PromptLabel()), Text("IDS_DESTINATION_PROMPT"));
    EXPECT_EQ(LabelText(dialog_->DirectoryPage()->CaptionLabel()), Text("IDS_TEMPLATE_CATALOG"));
}

}  // namespace
