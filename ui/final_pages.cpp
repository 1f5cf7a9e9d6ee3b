// The success and error pages, the Finish button and opening the description.

#include "ui/installer_dlg.h"

#include <cstdio>

#include "base/conversion.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "lang/messages.h"
#include "platform/file_finder.h"
#include "ui/description_opener.h"
#include "ui/label_fit.h"
#include "ui/message_page.h"
#include "ui/success_final_page.h"
#include "ui/gtk_text.h"
#include "ui/accessible.h"
#include "ui/button_label.h"
#include "ui/wizard_access_keys.h"

namespace vxk5 {

namespace {

// Without a display the final page's text is the run's last line on standard error.
void ReportWithoutWindow(const char* key) {
    std::fprintf(stderr, "%s\n", ToMultiByte(LoadResString(key)).c_str());
    std::fflush(stderr);
}

}  // namespace

void CInstallerDlg::ShowSuccessPage() {
    state_ = StateSuccess;
    if (layout_ == nullptr) {
        if (!gtkReady_) ReportWithoutWindow("IDS_SUCCESS_FINISH");
        return;
    }
    if (!successPage_) {
        successPage_ =
            std::make_unique<SuccessFinalPage>(layout_, banner_.get(), LoadResString("IDS_SUCCESS_FINISH"));
    }
    SetFinishButtons();
    ShowPage(successPage_.get());
    gtk_widget_grab_focus(next_);  // Enter finishes; nothing hidden keeps the focus
}

void CInstallerDlg::ShowErrorPage() {
    if (layout_ == nullptr) {
        state_ = StateError;
        if (!gtkReady_) ReportWithoutWindow("IDS_ERROR_FINISH");
        return;
    }
    if (!errorPage_) {
        errorPage_ = std::make_unique<MessagePage>(layout_, banner_.get(), LoadResString("IDS_ERROR_FINISH"));
    }
    state_ = StateError;
    SetFinishButtons();
    ShowPage(errorPage_.get());
    gtk_widget_grab_focus(next_);
}

void CInstallerDlg::SetFinishButtons() {
    gtk_widget_set_sensitive(next_, TRUE);
    gtk_widget_set_sensitive(cancel_, FALSE);
    gtk_widget_set_visible(back_, FALSE);
    gtk_widget_set_visible(next_, TRUE);  // hidden from the start in a silent run
    gtk_button_set_label(GTK_BUTTON(next_), WizardMnemonicLabels().finish.c_str());  // Next's underline stays on
    gtk_widget_set_can_default(next_, TRUE);
    gtk_window_set_default(GTK_WINDOW(window_), next_);
    LayOutButtons();
    SetAccessibleName(next_, SpokenButtonName(LoadResString("IDS_WIZARD_FINISH")));
}

void CInstallerDlg::OnFinish() {
    if (state_ != StateSuccess) {
        DestroyWindow();
        return;
    }
    const WString description = GetDescriptionName(kit_.get(), languageCode_);
    // The kit names the description: a name that does not convert whole, or
    // that would lead out of the template directory, is not opened at all.
    const size_t directoryBytes = ToMultiByte(templateDirectory_).length() + 1;
    if (!description.empty() && CheckEntryName(description, directoryBytes) != ENTRY_NAME_OK) {
        DestroyWindow();
        return;
    }
    // A directory typed or recorded without its trailing slash still has the
    // description inside it, not beside it.
    const bool joined =
        description.empty() || templateDirectory_.EndsWith(u'/') || templateDirectory_.EndsWith(u'\\');
    WString path = templateDirectory_ + (joined ? u"" : u"/") + description;
    ReplaceAll(path, u"\\", u"/");

    if (FindsEntry(path) && successPage_ && successPage_->IsOpenDescriptionChecked()) {
        OpenWithDesktop(ToMultiByte(path));
    }
    DestroyWindow();
}

}  // namespace vxk5
