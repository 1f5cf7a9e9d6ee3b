#pragma once
// DirSelectPage: the prompt, the "Template directory:" caption, the entry for
// the template directory and a "..." button that opens a folder chooser.
// Enter in the entry activates the window's default button (Next).

#include "base/wstring.h"
#include "ui/wizard_page.h"

namespace vxk5 {

class DirSelectPage : public WizardDialogPage {
public:
    DirSelectPage(GtkWidget* layout, GdkPixbuf* banner);

    WString GetDirectory() const;  // the entry text; empty when GTK gives none
    void SetDirectory(const WString& directory);
    // Puts the keyboard focus in the entry, the cursor after the last character.
    void Activate() override;
    // Runs the folder chooser; an accepted folder replaces the entry text.
    void BrowseForFolder();

    GtkWidget* Entry() const { return entry_; }
    GtkWidget* BrowseButton() const { return browse_; }
    GtkWidget* PromptLabel() const { return prompt_; }
    GtkWidget* CaptionLabel() const { return caption_; }

private:
    static gint OnBrowseClicked(GtkWidget* button, DirSelectPage* page);

    GtkWidget* entry_ = nullptr;
    GtkWidget* prompt_ = nullptr;
    GtkWidget* caption_ = nullptr;
    GtkWidget* browse_ = nullptr;
};

}  // namespace vxk5
