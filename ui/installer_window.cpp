// The wizard window: building it, switching pages, and the Back, Next, Cancel
// and Escape dispatch on the page state.

#include "ui/installer_dlg.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/artwork.h"
#include "ui/label_fit.h"
#include "ui/layout.h"
#include "ui/layout_scale.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/termination_signals.h"
#include "ui/wizard_page.h"
#include "ui/gtk_text.h"
#include "ui/accessible.h"
#include "ui/button_label.h"
#include "ui/wizard_access_keys.h"

namespace vxk5 {

namespace {

GdkPixbuf* PictureFromXpm(const char* const* xpm) {
    // GdkPixbuf reads the data only; the cast is for its pre-const signature.
    return gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(xpm));
}

GtkWidget* NewButton(const std::string& mnemonicLabel, GtkWidget* fixed, const layout::Box& box) {
    GtkWidget* button = gtk_button_new_with_mnemonic(mnemonicLabel.c_str());
    gtk_widget_set_size_request(button, box.width, box.height);
    gtk_fixed_put(GTK_FIXED(fixed), button, box.x, box.y);
    return button;
}

// The banner drawn at the layout's scale.
GdkPixbuf* ScaledBanner(double scale) {
    GdkPixbuf* banner = PictureFromXpm(kBannerXpm);
    if (banner == nullptr || scale == 1.0) return banner;
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(banner, Scaled(gdk_pixbuf_get_width(banner), scale),
                                                Scaled(gdk_pixbuf_get_height(banner), scale), GDK_INTERP_BILINEAR);
    g_object_unref(banner);
    return scaled;
}


}  // namespace

WString CInstallerDlg::GetTitle() const {
    return FromMultiByte(title_);
}

void CInstallerDlg::BuildWindow() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    // The layout grows with the font; the window keeps its size all the same.
    scale_ = FontScale(window_);

    GdkGeometry geometry{};
    geometry.min_width = geometry.max_width = geometry.base_width = Scaled(layout::kWindowWidth, scale_);
    geometry.min_height = geometry.max_height = geometry.base_height = Scaled(layout::kWindowHeight, scale_);
    geometry.win_gravity = GDK_GRAVITY_NORTH_WEST;
    gtk_window_set_geometry_hints(GTK_WINDOW(window_), window_, &geometry,
                                  static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE |
                                                              GDK_HINT_BASE_SIZE));
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_MENU);

    icon_.reset(PictureFromXpm(kIconXpm));
    gtk_window_set_icon(GTK_WINDOW(window_), icon_.get());

    layout_ = gtk_fixed_new();
    SetLayoutScale(layout_, scale_);
    gtk_container_add(GTK_CONTAINER(window_), layout_);

    // Destroying the window ends the main loop (and forgets the widgets here).
    g_signal_connect(window_, "destroy", G_CALLBACK(OnWindowDestroyed), this);
    g_signal_connect(window_, "key_press_event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(OnDeleteEvent), this);
    gtk_window_set_title(GTK_WINDOW(window_), GtkText(GetTitle()).c_str());

    const layout::Box separatorBox = Scaled(layout::kSeparator, scale_);
    GtkWidget* separator = gtk_widget_new(gtk_hseparator_get_type(), nullptr);
    gtk_widget_set_size_request(separator, separatorBox.width, separatorBox.height);
    gtk_fixed_put(GTK_FIXED(layout_), separator, separatorBox.x, separatorBox.y);

    const WizardLabels labels = WizardMnemonicLabels();  // Alt+letter for each
    back_ = NewButton(labels.back, layout_, Scaled(layout::kBackButton, scale_));
    next_ = NewButton(labels.next, layout_, Scaled(layout::kNextButton, scale_));
    gtk_widget_set_can_default(next_, TRUE);
    gtk_window_set_default(GTK_WINDOW(window_), next_);
    cancel_ = NewButton(labels.cancel, layout_, Scaled(layout::kCancelButton, scale_));

    g_signal_connect(back_, "clicked", G_CALLBACK(OnBackClicked), this);
    g_signal_connect(next_, "clicked", G_CALLBACK(OnNextClicked), this);
    g_signal_connect(cancel_, "clicked", G_CALLBACK(OnCancelClicked), this);

    // Read without the arrows of "< Back" and "Next >".
    SetAccessibleName(back_, SpokenButtonName(LoadResString("IDS_WIZARD_BACK")));
    SetAccessibleName(next_, SpokenButtonName(LoadResString("IDS_WIZARD_NEXT")));
    SetAccessibleName(cancel_, SpokenButtonName(LoadResString("IDS_WIZARD_CANCEL")));

    gtk_widget_show_all(layout_);
    LayOutButtons();  // for the buttons shown
    banner_.reset(ScaledBanner(scale_));
    gtk_widget_show(window_);
}

void CInstallerDlg::MarkWindowState(const char* state) {
    if (window_ == nullptr || gtk_widget_get_window(window_) == nullptr) return;
    gdk_property_change(gtk_widget_get_window(window_), gdk_atom_intern_static_string("_VXK5_STATE"),
                        gdk_atom_intern_static_string("STRING"), 8, GDK_PROP_MODE_REPLACE,
                        reinterpret_cast<const guchar*>(state), static_cast<gint>(std::strlen(state)));
}

void CInstallerDlg::LayOutButtons() {
    // One text size for the shown buttons. From the right edge leftwards: a
    // button that needs more room than its design width for its label pushes
    // those left of it further left.
    const layout::Box back = Scaled(layout::kBackButton, scale_);
    const layout::Box next = Scaled(layout::kNextButton, scale_);
    const layout::Box cancel = Scaled(layout::kCancelButton, scale_);
    const std::vector<int> widths = FitButtonRow({{cancel_, cancel.width}, {next_, next.width}, {back_, back.width}});
    const int cancelWidth = widths[0];
    const int nextWidth = widths[1];
    const int backWidth = widths[2];
    const int gap = cancel.x - (next.x + next.width);
    const int cancelX = cancel.x + cancel.width - cancelWidth;
    const int nextX = std::min(next.x, cancelX - gap - nextWidth);
    const int backX = std::min(back.x, nextX - (next.x - (back.x + back.width)) - backWidth);
    gtk_widget_set_size_request(cancel_, cancelWidth, cancel.height);
    gtk_widget_set_size_request(next_, nextWidth, next.height);
    gtk_widget_set_size_request(back_, backWidth, back.height);
    gtk_fixed_move(GTK_FIXED(layout_), cancel_, cancelX, cancel.y);
    gtk_fixed_move(GTK_FIXED(layout_), next_, nextX, next.y);
    gtk_fixed_move(GTK_FIXED(layout_), back_, backX, back.y);
}

void CInstallerDlg::ShowPage(WizardDialogPage* page) {
    if (currentPage_ != nullptr) currentPage_->HideWidgets();
    currentPage_ = page;
    if (currentPage_ != nullptr) {
        // The banner is a picture of the product: a screen reader names it so.
        for (GtkWidget* widget : currentPage_->Widgets()) {
            if (GTK_IS_IMAGE(widget)) SetAccessibleName(widget, GtkText(bannerName_));
        }
        currentPage_->ShowWidgets();
        currentPage_->Activate();
    }
}

gint CInstallerDlg::OnBackClicked(GtkWidget*, CInstallerDlg* dialog) {
    switch (dialog->state_) {
        case StateDirectory: dialog->ShowWelcomePage(); break;
        case StateNone:
        case StateWelcome:
        case StateCopying:
        case StateSuccess:
        case StateError:
        case StateUninstalled: break;
    }
    return 0;
}

gint CInstallerDlg::OnNextClicked(GtkWidget*, CInstallerDlg* dialog) {
    if (dialog->preparing_) return 0;  // nothing to go on with before the kit is read
    switch (dialog->state_) {
        case StateWelcome: dialog->ShowDirectoryPage(); break;
        case StateDirectory: dialog->AcceptDirectory(); break;
        case StateSuccess:
        case StateError:
        case StateUninstalled: dialog->OnFinish(); break;
        case StateNone:
        case StateCopying: break;
    }
    return 0;
}

gint CInstallerDlg::OnCancelClicked(GtkWidget*, CInstallerDlg* dialog) {
    switch (dialog->state_) {
        case StateCopying: break;  // the copy goes on; nothing is asked
        case StateUninstalled: dialog->DestroyWindow(); break;  // nothing is left to cancel: as Finish
        case StateNone:
        case StateWelcome:
        case StateDirectory:
        case StateSuccess:
        case StateError: dialog->ConfirmCancel(); break;
    }
    return 0;
}

gboolean CInstallerDlg::OnKeyPress(GtkWidget*, GdkEventKey* event, CInstallerDlg* dialog) {
    if (event->keyval != GDK_Escape) return FALSE;
    // Exactly as a click on Cancel in this state, even while Cancel is insensitive.
    OnCancelClicked(dialog->cancel_, dialog);
    return TRUE;
}

gboolean CInstallerDlg::OnDeleteEvent(GtkWidget*, GdkEvent*, CInstallerDlg* dialog) {
    // The copying loop keeps updating the progress page until the worker is
    // done: the window must outlive it. Otherwise a close request closes.
    return dialog->state_ == StateCopying ? TRUE : FALSE;
}

void CInstallerDlg::OnWindowDestroyed(GtkWidget*, CInstallerDlg* dialog) {
    dialog->window_ = nullptr;
    dialog->layout_ = nullptr;
    dialog->back_ = dialog->next_ = dialog->cancel_ = nullptr;
    dialog->currentPage_ = nullptr;
    if (gtk_main_level() > 0) gtk_main_quit();
}

void CInstallerDlg::ConfirmCancel() {
    if (MessageBox(this, LoadResString("IDS_ACCEPT_CANCEL"), MB_STYLE_QUESTION_YESNO) != MB_RESULT_YES) return;
    DestroyWindow();
}

void CInstallerDlg::DestroyWindow() {
    if (window_ != nullptr) gtk_widget_destroy(window_);  // "destroy" clears the pointers
}

bool CInstallerDlg::TerminationPending() const {
    return signals_ != nullptr && signals_->Pending();
}

void CInstallerDlg::OnTerminationSignal() {
    if (signalsHeld_) return;  // the copying phase ends the run when it is over
    CloseModalDialog();        // a question on screen goes unanswered
    if (!inCopyingPhase_) DestroyWindow();
}

}  // namespace vxk5
