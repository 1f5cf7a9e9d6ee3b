#include "lang/language_texts.h"

namespace vxk5 {

// The Arabic table holds the English texts, word for word, on purpose: the
// installer is written and laid out left to right, and these texts are what
// an Arabic user of it reads. GTK's own texts follow it in English
// (CatalogueLanguage), and no window or dialog is mirrored.

extern const LanguageTexts kTextsArabic = {{
    {"IDS_WIZARD_BACK", "< Back"},
    {"IDS_WIZARD_NEXT", "Next >"},
    {"IDS_WIZARD_FINISH", "Finish"},
    {"IDS_WIZARD_CANCEL", "Cancel"},
    {"IDS_ACCEPT_CANCEL", "Do you really want to cancel installation?"},
    {"IDS_TITLE_INSTALLER", "Installing configuration"},
    {"IDS_PREPARECOPY", "Preparing to copy..."},
    {"IDS_INSTALL_ERROR", "Installation error"},
    {"IDS_ERROR_NOSOURCE", "Distribution kit file vxk5.efd not found."},
    {"IDS_ERROR_NOTARGET", "Installation of templates to the current directory is not supported."},
    {"IDS_ERROR_NOSPACE", "Insufficient space available in the directory Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Folder:"},
    {"IDS_CHOOSEDIR_TITLE", "Choose Directory"},
    {"IDR_MAINFRAME", "Installing configuration"},
    {"IDS_SETUP_EMPTYTARGET", "Specify correct path to template directory."},
    {"IDS_INSTALL_FINISH", "Copying complete..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Distribution kit file vxk5.efd corrupted or not designed for this installation program."},
    {"IDS_DEFPRODUCT", "<Product>"},
    {"IDS_DEFPROVIDER", "<Vendor>"},
    {"IDS_SUCCESS_FINISH", "Configuration installed successfully."},
    {"IDS_SUCCESS_OPENDESCR", "Open description of distribution package"},
    {"IDS_PROGRESS_START", "Files being copied..."},
    {"IDS_ERROR_FINISH", "An error occurred during the installation process. Installation canceled. Template directory has not been changed."},
    {"IDS_CANCEL_FINISH", "Installation canceled. Template directory has not been changed."},
    {"IDS_BROWSE_SELDIR", "Directory selected:"},
    {"IDS_BROWSE_OK", "Select"},
    {"IDS_BROWSE_CANCEL", "Cancel"},
    {"IDS_WELCOME_TITLE", "Welcome to the product installation program"},
    {"IDS_SETUP_EXISTEDTARGET", "The installation directory contains files that may be changed during the installation process. Do you want to continue?"},
    {"IDS_DESTINATION_PROMPT", "Specify path to template directory. The installation program will install templates and configuration files to the specified directory."},
    {"IDS_TEMPLATE_CATALOG", "Template directory:"},
    {"IDS_ERROR_BACKUPKEPT", "Not all original files could be restored. The originals are kept in:"},
    {"IDS_RECOVERED_INSTALL", "An interrupted installation was found and cleaned up. Template directory:"},
    {"IDS_WAITING_INSTALL", "Waiting for another installation into this directory to finish..."},
    {"IDS_ERROR_BADTARGET", "This path cannot be used as the template directory: it is not a directory or cannot be written to."},
    {"IDS_WELCOME_TEXT", "Welcome to the product installation program %1 (%2)."},
    {"IDS_BUTTON_YES", "Yes"},
    {"IDS_BUTTON_NO", "No"},
    {"IDS_BUTTON_OK", "OK"},
    {"IDS_ERROR_UNTRUSTED_NOSIG", "Distribution kit file vxk5.efd is not signed by a trusted key: the signature file vxk5.efd.minisig is missing."},
    {"IDS_ERROR_UNTRUSTED_BADSIG", "Distribution kit file vxk5.efd is not signed by a trusted key: the signature file vxk5.efd.minisig is damaged."},
    {"IDS_ERROR_UNTRUSTED_KEYID", "Distribution kit file vxk5.efd is not signed by a trusted key: the signature has an unknown key id."},
    {"IDS_ERROR_UNTRUSTED_MISMATCH", "Distribution kit file vxk5.efd is not signed by a trusted key: the signature does not match the kit."},
    {"IDS_ERROR_NOTRESTORED", "These original files could not be put back:"},
    {"IDS_ERROR_CHANGED", "Changed by another program during the installation"},
    {"IDS_ERROR_NOSPACE_TARGET", "Insufficient space available in the template directory:"},
    {"IDS_ERROR_NOHOME", "The home directory does not exist or is not a directory:"},
    {"IDS_ERROR_UNKNOWNUSER", "The user named at the beginning of this path is not known on this computer:"},
    {"IDS_BOX_QUESTION", "Question"},
    {"IDS_BOX_ERROR", "Error"},
    {"IDS_CHOOSER_PLACES", "Places"},
    {"IDS_CHOOSER_SEARCH", "Search"},
    {"IDS_CHOOSER_RECENT", "Recently Used"},
    {"IDS_CHOOSER_FILESYSTEM", "File System"},
}};

}  // namespace vxk5
