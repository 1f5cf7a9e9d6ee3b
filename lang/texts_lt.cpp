#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsLithuanian = {{
    {"IDS_WIZARD_BACK", "< Atgal"},
    {"IDS_WIZARD_NEXT", "Toliau >"},
    {"IDS_WIZARD_FINISH", "Baigti"},
    {"IDS_WIZARD_CANCEL", "Atšaukti"},
    {"IDS_ACCEPT_CANCEL", "Ar tikrai norite atšaukti diegimą?"},
    {"IDS_TITLE_INSTALLER", "Konfigūracijos diegimas"},
    {"IDS_PREPARECOPY", "Ruošiamasi kopijuoti..."},
    {"IDS_INSTALL_ERROR", "Diegimo klaida"},
    {"IDS_ERROR_NOSOURCE", "Diegimo failas vxk5.efd nerastas."},
    {"IDS_ERROR_NOTARGET", "Šablonų diegimas į dabartinį aplanką nepalaikomas."},
    {"IDS_ERROR_NOSPACE", "Aplanke Temp nepakanka vietos."},
    {"IDS_CHOOSEDIR_FOLDER", "&Aplankas:"},
    {"IDS_CHOOSEDIR_TITLE", "Aplanko pasirinkimas"},
    {"IDR_MAINFRAME", "Konfigūracijos diegimas"},
    {"IDS_SETUP_EMPTYTARGET", "Nurodykite teisingą šablonų aplanko kelią."},
    {"IDS_INSTALL_FINISH", "Kopijavimas baigtas..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Diegimo failas vxk5.efd sugadintas arba neskirtas šiai diegimo programai."},
    {"IDS_DEFPRODUCT", "<Produktas>"},
    {"IDS_DEFPROVIDER", "<Tiekėjas>"},
    {"IDS_SUCCESS_FINISH", "Konfigūracija sėkmingai įdiegta."},
    {"IDS_SUCCESS_OPENDESCR", "Atidaryti diegimo paketo aprašą"},
    {"IDS_PROGRESS_START", "Kopijuojami failai..."},
    {"IDS_ERROR_FINISH", "Diegiant įvyko klaida. Diegimas atšauktas. Šablonų aplankas nepakeistas."},
    {"IDS_CANCEL_FINISH", "Diegimas atšauktas. Šablonų aplankas nepakeistas."},
    {"IDS_BROWSE_SELDIR", "Pasirinktas aplankas:"},
    {"IDS_BROWSE_OK", "Pasirinkti"},
    {"IDS_BROWSE_CANCEL", "Atšaukti"},
    {"IDS_WELCOME_TITLE", "Sveiki atvykę į produkto diegimo programą"},
    {"IDS_SETUP_EXISTEDTARGET", "Diegimo aplanke yra failų, kurie diegiant gali būti pakeisti. Ar norite tęsti?"},
    {"IDS_DESTINATION_PROMPT", "Nurodykite šablonų aplanko kelią. Diegimo programa įdiegs šablonus ir konfigūracijos failus į nurodytą aplanką."},
    {"IDS_TEMPLATE_CATALOG", "Šablonų aplankas:"},
    {"IDS_ERROR_BACKUPKEPT", "Ne visus originalius failus pavyko atkurti. Originalai laikomi aplanke:"},
    {"IDS_RECOVERED_INSTALL", "Rastas ir sutvarkytas nutrauktas diegimas. Šablonų aplankas:"},
    {"IDS_WAITING_INSTALL", "Laukiama, kol baigsis kitas diegimas į šį aplanką..."},
    {"IDS_ERROR_BADTARGET", "Šio kelio negalima naudoti kaip šablonų aplanko: tai ne aplankas arba į jį negalima rašyti."},
    {"IDS_ERROR_NOTRESTORED", "Šių originalių failų nepavyko atkurti:"},
}};

}  // namespace vxk5
