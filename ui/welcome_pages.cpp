// The welcome page and the directory page, and Next on the directory page.

#include "ui/installer_dlg.h"

#include "config/template_locations.h"
#include "kit/kit_reader.h"
#include "lang/message_format.h"
#include "lang/messages.h"
#include "config/target_path.h"
#include "run/target_check.h"
#include "ui/dir_select_page.h"
#include "ui/message_box.h"
#include "ui/message_page.h"
#include "ui/accessible.h"
#include "ui/gtk_text.h"
#include "ui/target_question.h"

namespace vxk5 {

namespace {

// A "~user" at the front that names nobody known here.
bool NamesUnknownUser(const WString& directory) {
    bool unknownUser = false;
    (void)ExpandHomePrefix(directory, &unknownUser);
    return unknownUser;
}

}  // namespace

void CInstallerDlg::ShowWelcomePage() {
    if (preparing_) {
        // The kit is still being read: the page says so, and Next waits.
        state_ = StateWelcome;
        if (layout_ == nullptr) return;
        if (!welcomePage_) {
            welcomePage_ = std::make_unique<MessagePage>(layout_, banner_.get(), LoadResString("IDS_PREPARECOPY"));
        }
        gtk_widget_set_sensitive(back_, FALSE);
        gtk_widget_set_sensitive(next_, FALSE);
        ShowPage(welcomePage_.get());
        gtk_widget_grab_focus(cancel_);
        MarkWindowState("preparing");
        return;
    }
    const WString text = WelcomeText();

    if (layout_ == nullptr) {  // no window: nothing to draw
        state_ = StateWelcome;
        return;
    }
    if (!welcomePage_) welcomePage_ = std::make_unique<MessagePage>(layout_, banner_.get(), text);
    if (silent_) {
        gtk_widget_set_visible(back_, FALSE);
        gtk_widget_set_visible(next_, FALSE);
    } else {
        gtk_widget_set_sensitive(back_, FALSE);
    }
    state_ = StateWelcome;
    ShowPage(welcomePage_.get());
    if (!silent_) gtk_widget_grab_focus(next_);  // Enter goes on, as on every later page
}

void CInstallerDlg::ShowPreparedWelcome() {
    // The welcome page was made with the preparing text: it now greets.
    if (welcomePage_) {
        welcomePage_->SetText(WelcomeText());
        for (GtkWidget* widget : welcomePage_->Widgets()) {
            if (GTK_IS_IMAGE(widget)) SetAccessibleName(widget, GtkText(bannerName_));
        }
    }
    gtk_widget_set_sensitive(next_, TRUE);
    if (state_ == StateWelcome) gtk_widget_grab_focus(next_);
    MarkWindowState("ready");
}

WString CInstallerDlg::WelcomeText() {
    WString product;
    WString vendor;
    GetProductInfo(kit_.get(), languageCode_, product, vendor);
    if (product.empty()) product = LoadResString("IDS_DEFPRODUCT");
    if (vendor.empty()) vendor = LoadResString("IDS_DEFPROVIDER");
    bannerName_ = product;
    // The sentence and its punctuation are the table's.
    return FillPlaceholders(LoadResString("IDS_WELCOME_TEXT"), {product, vendor});
}

void CInstallerDlg::ShowDirectoryPage() {
    state_ = StateDirectory;
    if (layout_ == nullptr) return;
    if (!directoryPage_) directoryPage_ = std::make_unique<DirSelectPage>(layout_, banner_.get());
    // The entry shows the stored directory whenever the page is shown.
    directoryPage_->SetDirectory(templateDirectory_);
    gtk_widget_set_sensitive(back_, TRUE);
    gtk_widget_set_sensitive(next_, TRUE);
    ShowPage(directoryPage_.get());
}

void CInstallerDlg::AcceptDirectory() {
    if (!directoryPage_) return;
    // "~/x" and "rel/x" mean what they mean in a shell; the absolute path is
    // what is installed into, recorded, and shown from here on ("." as the
    // directory it names). An entry of blanks alone is an empty entry.
    WString directory;
    WString absolute;
    const bool resolved = vxk5::TemplateLocations::ResolveTyped(directoryPage_->GetDirectory(), directory, absolute);
    if (directory.empty()) {
        MessageBox(this, LoadResString("IDS_SETUP_EMPTYTARGET"), MB_STYLE_PLAIN_OK);
        return;
    }
    // Turned away before anything is touched; the entry stays as typed.
    if (!resolved && NamesUnknownUser(directory)) {
        MessageBox(this, LoadResString("IDS_ERROR_UNKNOWNUSER"), MB_STYLE_ERROR_OK, directory);
        return;
    }
    if (resolved) absolute = WithoutDotComponents(absolute);
    if (!resolved || !IsUsableTarget(absolute)) {
        MessageBox(this, LoadResString("IDS_ERROR_BADTARGET"), MB_STYLE_ERROR_OK, resolved ? absolute : directory);
        return;
    }
    // The home folder or the installer's own folder hold much besides
    // templates: installing there is most likely a slip of "~" or ".".
    if (IsStartOrHomeDirectory(absolute, kitPath_) &&
        MessageBox(this, LoadResString("IDS_SETUP_EXISTEDTARGET"), MB_STYLE_QUESTION_YESNO, absolute) != MB_RESULT_YES) {
        return;
    }
    templateDirectory_ = absolute;
    directoryPage_->SetDirectory(absolute);
    StartInstallation();
}

}  // namespace vxk5
