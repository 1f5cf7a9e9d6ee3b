// What a screen reader finds on each page, read through ATK in-process: the
// names of the controls, which label names which control, and where the
// keyboard focus is after each page change.

#include <cstring>

#include "ui/dir_select_page.h"
#include "ui/message_page.h"
#include "ui/progress_page.h"
#include "ui/success_final_page.h"
#include "wizard_fixture.h"
#include "tests/support/kit_parts.h"

using namespace vxk5;

namespace {

std::string NameOf(GtkWidget* widget) {
    const char* name = atk_object_get_name(gtk_widget_get_accessible(widget));
    return name != nullptr ? name : "";
}

// Whether `from` has a relation of `type` to `to`.
bool Related(GtkWidget* from, AtkRelationType type, GtkWidget* to) {
    AtkRelationSet* relations = atk_object_ref_relation_set(gtk_widget_get_accessible(from));
    bool found = false;
    if (AtkRelation* relation = atk_relation_set_get_relation_by_type(relations, type)) {
        GPtrArray* targets = atk_relation_get_target(relation);
        for (guint i = 0; i < targets->len; ++i) {
            found = found || g_ptr_array_index(targets, i) == gtk_widget_get_accessible(to);
        }
    }
    g_object_unref(relations);
    return found;
}

int CountRelations(GtkWidget* from, AtkRelationType type) {
    AtkRelationSet* relations = atk_object_ref_relation_set(gtk_widget_get_accessible(from));
    AtkRelation* relation = atk_relation_set_get_relation_by_type(relations, type);
    const int count = relation != nullptr ? static_cast<int>(atk_relation_get_target(relation)->len) : 0;
    g_object_unref(relations);
    return count;
}

// The focused widget of the wizard's window, or null.
GtkWidget* Focused(CInstallerDlg& dialog) { return gtk_window_get_focus(GTK_WINDOW(dialog.Window())); }

class Accessibility : public WizardTest {
protected:
    void OpenWithProduct(const char* language) {
        Make(false, language);
        AddKitDescription(dialog_->Kit(), {FromMultiByte(AString(language)), u"Büro-Vorlagen", u"V", u""});
        dialog_->BuildWindow();
        dialog_->ShowWelcomePage();
        Pump();
    }
};

TEST_F(Accessibility, ButtonsAreNamedWithoutTheirArrows) {
    const struct {
        const char* language;
        const char* back;
        const char* next;
        const char* cancel;
    } cases[] = {{"en", "Back", "Next", "Cancel"}, {"de", "Zurück", "Weiter", "Abbrechen"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        OpenWithProduct(c.language);
        EXPECT_EQ(NameOf(dialog_->BackButton()), c.back);
        EXPECT_EQ(NameOf(dialog_->NextButton()), c.next);
        EXPECT_EQ(NameOf(dialog_->CancelButton()), c.cancel);
        EXPECT_EQ(ButtonLabel(dialog_->NextButton()), Text("IDS_WIZARD_NEXT")) << "the visible label is unchanged";
        dialog_.reset();
    }
    // No language's button names keep a mark.
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        OpenWithProduct(LanguageCode(id));
        for (GtkWidget* button : {dialog_->BackButton(), dialog_->NextButton()}) {
            const std::string name = NameOf(button);
            EXPECT_FALSE(name.empty()) << LanguageCode(id);
            EXPECT_EQ(name.find_first_of("<>"), std::string::npos) << LanguageCode(id) << ": " << name;
            EXPECT_NE(name.front(), ' ');
            EXPECT_NE(name.back(), ' ');
        }
        dialog_.reset();
    }
}

TEST_F(Accessibility, NamesRelationsAndFocusOnEveryPage) {
    OpenWithProduct("en");
    // Welcome: the banner is the product, Enter goes on.
    GtkWidget* banner = dialog_->WelcomePage()->Widgets().front();
    ASSERT_TRUE(GTK_IS_IMAGE(banner));
    EXPECT_EQ(NameOf(banner), "Büro-Vorlagen");
    EXPECT_EQ(Focused(*dialog_), dialog_->NextButton());

    // Directory: the caption names the entry, both ways, once.
    ClickNext();
    Pump();
    DirSelectPage* page = dialog_->DirectoryPage();
    EXPECT_STREQ(G_OBJECT_TYPE_NAME(gtk_widget_get_accessible(page->Entry())), "GailEntry")
        << "read through GTK's accessibility module";
    EXPECT_EQ(NameOf(page->Entry()), "Template directory:");
    EXPECT_TRUE(Related(page->Entry(), ATK_RELATION_LABELLED_BY, page->CaptionLabel()));
    EXPECT_TRUE(Related(page->CaptionLabel(), ATK_RELATION_LABEL_FOR, page->Entry()));
    EXPECT_EQ(CountRelations(page->Entry(), ATK_RELATION_LABELLED_BY), 1);
    EXPECT_EQ(NameOf(page->BrowseButton()), "Choose Directory");
    EXPECT_EQ(ButtonLabel(page->BrowseButton()), "...") << "the visible label is unchanged";
    EXPECT_EQ(NameOf(page->Widgets().front()), "Büro-Vorlagen");
    EXPECT_EQ(Focused(*dialog_), page->Entry());

    // Copying: no button can be used; the bar has the focus, a name, and the
    // status line as its label.
    struct Probe {
        CInstallerDlg* dialog;
        bool barFocused = false;
        bool entryFocused = true;
    } probe{dialog_.get()};
    dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
    const ScopedTimeout timeout1(
        10,
        [](gpointer data) -> gboolean {
            auto* p = static_cast<Probe*>(data);
            if (p->dialog->State() != StateCopying) return TRUE;
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(p->dialog->Window()));
            p->barFocused = focus == p->dialog->CopyingPage()->Bar();
            p->entryFocused = focus == p->dialog->DirectoryPage()->Entry();
            return FinishJob(p->dialog);
        },
        &probe);
    ClickNext();
    ASSERT_EQ(dialog_->State(), StateSuccess);
    EXPECT_TRUE(probe.barFocused);
    EXPECT_FALSE(probe.entryFocused) << "the hidden entry kept the focus";
    ProgressPage* progress = dialog_->CopyingPage();
    EXPECT_EQ(NameOf(progress->Bar()), "Installing configuration");
    EXPECT_TRUE(Related(progress->Bar(), ATK_RELATION_LABELLED_BY, progress->Label()));
    EXPECT_TRUE(Related(progress->Label(), ATK_RELATION_LABEL_FOR, progress->Bar()));

    // Success: Finish has the focus and is read as "Finish".
    EXPECT_EQ(Focused(*dialog_), dialog_->NextButton());
    EXPECT_EQ(NameOf(dialog_->NextButton()), "Finish");
    EXPECT_EQ(NameOf(dialog_->SuccessPage()->Widgets().front()), "Büro-Vorlagen");
}

TEST_F(Accessibility, ErrorPageFocusesFinishAndBackReturnsToNext) {
    OpenWithProduct("en");
    ClickNext();
    Pump();
    ClickBack();
    Pump();
    EXPECT_EQ(Focused(*dialog_), dialog_->NextButton()) << "back on the welcome page";
    ClickNext();
    dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
    const ScopedTimeout fail(
        10,
        [](gpointer data) -> gboolean {
            auto* dialog = static_cast<CInstallerDlg*>(data);
            if (dialog->State() != StateCopying) return TRUE;
            SetJobResult(dialog->JobState(), 5, u"failed", 10);
            return FALSE;
        },
        dialog_.get());
    DialogAnswerer answer(GTK_RESPONSE_OK);
    ClickNext();
    ASSERT_EQ(dialog_->State(), StateError);
    EXPECT_EQ(Focused(*dialog_), dialog_->NextButton());
    EXPECT_EQ(NameOf(dialog_->NextButton()), "Finish");
}

// Answers the first message box with `response`, remembering the name a
// screen reader announces it by.
struct BoxName {
    gint response;
    std::string name;
    bool answered = false;

    static gboolean Poll(gpointer self) {
        auto* box = static_cast<BoxName*>(self);
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* item = windows; item != nullptr; item = item->next) {
            if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
                found = GTK_WIDGET(item->data);
            }
        }
        g_list_free(windows);
        if (found == nullptr) return TRUE;
        box->name = NameOf(found);
        box->answered = true;
        gtk_dialog_response(GTK_DIALOG(found), box->response);
        return FALSE;
    }
};

// A question or an error box is announced by its kind in the window's
// language, also where GTK's catalogue has no word for it (Georgian, Armenian).
TEST_F(Accessibility, MessageBoxesAreAnnouncedByTheirKindInTheWindowsLanguage) {
    const std::string file = temp_.path("notes.txt");
    WriteFile(file, "a file");
    for (const char* language : {"en", "ka", "hy", "de"}) {
        SCOPED_TRACE(language);
        OpenWithProduct(language);
        BoxName question{GTK_RESPONSE_NO, "", false};
        {
            const ScopedTimeout poll(10, BoxName::Poll, &question);
            ClickCancel();
        }
        ASSERT_TRUE(question.answered);
        EXPECT_EQ(question.name, Text("IDS_BOX_QUESTION"));
        ClickNext();
        gtk_entry_set_text(GTK_ENTRY(dialog_->DirectoryPage()->Entry()), file.c_str());
        BoxName error{GTK_RESPONSE_OK, "", false};
        {
            const ScopedTimeout poll(10, BoxName::Poll, &error);
            ClickNext();
        }
        ASSERT_TRUE(error.answered);
        EXPECT_EQ(error.name, Text("IDS_BOX_ERROR"));
        dialog_.reset();
    }
}

}  // namespace
