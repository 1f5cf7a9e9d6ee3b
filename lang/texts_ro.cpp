#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsRomanian = {{
    {"IDS_WIZARD_BACK", "< Înapoi"},
    {"IDS_WIZARD_NEXT", "Înainte >"},
    {"IDS_WIZARD_FINISH", "Finalizare"},
    {"IDS_WIZARD_CANCEL", "Anulare"},
    {"IDS_ACCEPT_CANCEL", "Sigur doriți să anulați instalarea?"},
    {"IDS_TITLE_INSTALLER", "Instalarea configurației"},
    {"IDS_PREPARECOPY", "Se pregătește copierea..."},
    {"IDS_INSTALL_ERROR", "Eroare de instalare"},
    {"IDS_ERROR_NOSOURCE", "Fișierul de instalare vxk5.efd nu a fost găsit."},
    {"IDS_ERROR_NOTARGET", "Instalarea șabloanelor în directorul curent nu este acceptată."},
    {"IDS_ERROR_NOSPACE", "Spațiu insuficient în directorul Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Folder:"},
    {"IDS_CHOOSEDIR_TITLE", "Alegeți directorul"},
    {"IDR_MAINFRAME", "Instalarea configurației"},
    {"IDS_SETUP_EMPTYTARGET", "Specificați o cale corectă către directorul de șabloane."},
    {"IDS_INSTALL_FINISH", "Copiere finalizată..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Fișierul de instalare vxk5.efd este deteriorat sau nu este destinat acestui program de instalare."},
    {"IDS_DEFPRODUCT", "<Produs>"},
    {"IDS_DEFPROVIDER", "<Furnizor>"},
    {"IDS_SUCCESS_FINISH", "Configurația a fost instalată cu succes."},
    {"IDS_SUCCESS_OPENDESCR", "Deschideți descrierea pachetului de instalare"},
    {"IDS_PROGRESS_START", "Se copiază fișierele..."},
    {"IDS_ERROR_FINISH", "A apărut o eroare în timpul instalării. Instalarea a fost anulată. Directorul de șabloane nu a fost modificat."},
    {"IDS_CANCEL_FINISH", "Instalarea a fost anulată. Directorul de șabloane nu a fost modificat."},
    {"IDS_BROWSE_SELDIR", "Director selectat:"},
    {"IDS_BROWSE_OK", "Selectare"},
    {"IDS_BROWSE_CANCEL", "Anulare"},
    {"IDS_WELCOME_TITLE", "Bun venit în programul de instalare al produsului"},
    {"IDS_SETUP_EXISTEDTARGET", "Directorul de instalare conține fișiere care pot fi modificate în timpul instalării. Doriți să continuați?"},
    {"IDS_DESTINATION_PROMPT", "Specificați calea către directorul de șabloane. Programul de instalare va instala șabloanele și fișierele de configurare în directorul specificat."},
    {"IDS_TEMPLATE_CATALOG", "Director de șabloane:"},
    {"IDS_ERROR_BACKUPKEPT", "Nu toate fișierele originale au putut fi restaurate. Originalele sunt păstrate în:"},
    {"IDS_RECOVERED_INSTALL", "A fost găsită și curățată o instalare întreruptă. Director de șabloane:"},
    {"IDS_WAITING_INSTALL", "Se așteaptă încheierea altei instalări în acest director..."},
    {"IDS_ERROR_BADTARGET", "Această cale nu poate fi folosită ca director de șabloane: nu este un director sau nu se poate scrie în el."},
    {"IDS_ERROR_NOTRESTORED", "Aceste fișiere originale nu au putut fi restaurate:"},
}};

}  // namespace vxk5
