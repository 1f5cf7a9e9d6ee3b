#pragma once
// ProgressPage: a status line and a progress bar, no banner.

#include <string>

#include "base/wstring.h"
#include "ui/wizard_page.h"

namespace vxk5 {

class ProgressPage : public WizardDialogPage {
public:
    explicit ProgressPage(GtkWidget* fixed);

    // "Copying complete..." at exactly 100, "Files being copied..." otherwise;
    // the bar at percent / 100.
    void SetProgress(uint32_t percent);
    // Puts the keyboard focus on the bar.
    void Activate() override;
    // The status line (UTF-8), wrapped across the bar's width.
    void SetStatusText(const std::string& text);

    GtkWidget* Label() const { return label_; }
    GtkWidget* Bar() const { return bar_; }

private:
    GtkWidget* label_;
    GtkWidget* bar_;
    std::string startText_;  // UTF-8, for GTK
    std::string finishText_;
};

}  // namespace vxk5
