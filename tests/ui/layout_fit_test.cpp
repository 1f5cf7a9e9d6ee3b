// Every language's texts fit the fixed layout: no button label, check box or
// caption is cut off by its button or by the window's edge. And every text is
// drawn: the installed fonts have a glyph for each of its characters (Chinese
// needs a CJK font), so the measurements above are of real glyphs, not boxes.

#include "ui/dir_select_page.h"
#include "ui/layout.h"
#include "ui/progress_page.h"
#include "ui/success_final_page.h"
#include "wizard_fixture.h"

using namespace vxk5;

namespace {

// The label's whole text gets drawn: its allocation is at least what it asks for.
void ExpectUncut(GtkWidget* label, const std::string& what) {
    GtkRequisition wanted;
    gtk_widget_get_child_requisition(label, &wanted);
    GtkAllocation given;
    gtk_widget_get_allocation(label, &given);
    EXPECT_LE(wanted.width, given.width) << what << ": " << LabelText(label);
}

void ExpectDrawn(GtkWidget* label, const std::string& what) {
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout), 0) << what << ": " << LabelText(label);
}

void ExpectInsideWindow(GtkWidget* widget, const std::string& what) {
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    EXPECT_LE(area.x + area.width, layout::kWindowWidth) << what;
}

using LayoutFit = WizardTest;

TEST_F(LayoutFit, EveryLanguageFitsTheWindow) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        const char* language = LanguageCode(id);
        SCOPED_TRACE(language);
        Open(false, language);
        for (GtkWidget* button : {dialog_->BackButton(), dialog_->NextButton(), dialog_->CancelButton()}) {
            ExpectUncut(gtk_bin_get_child(GTK_BIN(button)), "button");
            ExpectDrawn(gtk_bin_get_child(GTK_BIN(button)), "button");
        }
        ExpectDrawn(dialog_->WelcomePage()->Label(), "welcome text");
        ClickNext();
        Pump();
        ExpectInsideWindow(dialog_->DirectoryPage()->CaptionLabel(), "caption");
        ExpectDrawn(dialog_->DirectoryPage()->CaptionLabel(), "caption");
        ExpectDrawn(dialog_->DirectoryPage()->PromptLabel(), "prompt");

        dialog_->SetWorkerHooks({StartNoThread, JoinNothing});
        const ScopedTimeout timeout1(10, FinishJob, dialog_.get());
        ClickNext();
        Pump();
        ASSERT_EQ(dialog_->State(), StateSuccess);
        ExpectUncut(gtk_bin_get_child(GTK_BIN(dialog_->NextButton())), "Finish");
        GtkWidget* check = dialog_->SuccessPage()->CheckButton();
        ExpectInsideWindow(check, "check box");
        ExpectUncut(gtk_bin_get_child(GTK_BIN(check)), "check box");
        ExpectDrawn(gtk_bin_get_child(GTK_BIN(check)), "check box");
        ExpectDrawn(dialog_->SuccessPage()->Label(), "success text");
        GtkAllocation area;
        gtk_widget_get_allocation(check, &area);
        EXPECT_LE(area.y + area.height, 300) << "above the separator";
        ExpectInsideWindow(dialog_->CopyingPage()->Label(), "progress text");
        dialog_.reset();
    }
}

}  // namespace
