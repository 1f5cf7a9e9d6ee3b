#pragma once
// ProgressPage: a status line and a progress bar, no banner.

#include <string>

#include "base/wstring.h"
#include "ui/wizard_page.h"

namespace vxk5 {

// The table keys of the page's texts: the status while the work goes on and
// once it is complete, and the bar's name for a screen reader.
struct ProgressTexts {
    const char* running = "IDS_PROGRESS_START";
    const char* complete = "IDS_INSTALL_FINISH";
    const char* barName = "IDS_TITLE_INSTALLER";
};

class ProgressPage : public WizardDialogPage {
public:
    explicit ProgressPage(GtkWidget* fixed, const ProgressTexts& texts = ProgressTexts());

    // "Copying complete..." at exactly 100, "Files being copied..." otherwise
    // (or the texts given);
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
