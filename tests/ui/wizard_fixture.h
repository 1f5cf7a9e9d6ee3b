#pragma once
// A wizard controller on a private HOME and TMPDIR, its window built on demand.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/conversion.h"
#include "gui_test_support.h"
#include "lang/messages.h"
#include "platform/job_state.h"
#include "tests/support/temp_dir.h"
#include "ui/installer_dlg.h"

using namespace vxk5;

// Worker hooks for tests that post the job's end themselves: no thread runs.
inline bool StartNoThread(InstallWorker&, InstallJobState&, DistributionKit*) { return true; }
inline void JoinNothing(InstallWorker&) {}

// A timeout that ends the job successfully once the dialog is copying.
inline gboolean FinishJob(gpointer data) {
    auto* dialog = static_cast<CInstallerDlg*>(data);
    if (dialog->State() != StateCopying) return TRUE;
    SetJobResult(dialog->JobState(), 0, u"", 100);
    return FALSE;
}

class WizardTest : public ::testing::Test {
protected:
    WizardTest() : home_("HOME", temp_.path("home")), tmpdir_("TMPDIR", temp_.path("tmp")) {}

    void SetUp() override {
        if (!g_haveDisplay) GTEST_SKIP() << "no display";
    }

    void TearDown() override {
        dialog_.reset();
        SetCurrentLanguage(kLanguageEnglish);
        Pump();
    }

    // A controller in `language` ("en", "de", "ru", ...), not yet showing anything.
    void Make(bool silent = false, const char* language = "en") {
        SetCurrentLanguage(FindLanguageId(language));
        dialog_ = std::make_unique<CInstallerDlg>(1, argv_, silent, ToMultiByte(LoadResString("IDR_MAINFRAME")),
                                                  FromMultiByte(AString(language)), false);
        dialog_->SetTemplateDirectory(FromMultiByte(AString(temp_.path("templates/").c_str())));
    }

    // The window on the welcome page, drawn.
    void Open(bool silent = false, const char* language = "en") {
        Make(silent, language);
        dialog_->BuildWindow();
        dialog_->ShowWelcomePage();
        Pump();
    }

    std::string Text(const char* key) const { return ToMultiByte(LoadResString(key)).c_str(); }

    void ClickBack() { gtk_button_clicked(GTK_BUTTON(dialog_->BackButton())); }
    void ClickNext() { gtk_button_clicked(GTK_BUTTON(dialog_->NextButton())); }
    void ClickCancel() { gtk_button_clicked(GTK_BUTTON(dialog_->CancelButton())); }

    TempDir temp_;
    RedirectedDirectory home_;
    RedirectedDirectory tmpdir_;
    char program_[16] = "ui_tests";
    char* argv_[2] = {program_, nullptr};
    std::unique_ptr<CInstallerDlg> dialog_;
};
