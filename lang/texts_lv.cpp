#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsLatvian = {{
    {"IDS_WIZARD_BACK", "< Atpakaļ"},
    {"IDS_WIZARD_NEXT", "Tālāk >"},
    {"IDS_WIZARD_FINISH", "Pabeigt"},
    {"IDS_WIZARD_CANCEL", "Atcelt"},
    {"IDS_ACCEPT_CANCEL", "Vai tiešām vēlaties atcelt instalēšanu?"},
    {"IDS_TITLE_INSTALLER", "Konfigurācijas instalēšana"},
    {"IDS_PREPARECOPY", "Sagatavošanās kopēšanai..."},
    {"IDS_INSTALL_ERROR", "Instalēšanas kļūda"},
    {"IDS_ERROR_NOSOURCE", "Instalācijas fails vxk5.efd netika atrasts."},
    {"IDS_ERROR_NOTARGET", "Veidņu instalēšana pašreizējā mapē netiek atbalstīta."},
    {"IDS_ERROR_NOSPACE", "Mapē Temp nepietiek brīvas vietas."},
    {"IDS_CHOOSEDIR_FOLDER", "&Mape:"},
    {"IDS_CHOOSEDIR_TITLE", "Mapes izvēle"},
    {"IDR_MAINFRAME", "Konfigurācijas instalēšana"},
    {"IDS_SETUP_EMPTYTARGET", "Norādiet pareizu ceļu uz veidņu mapi."},
    {"IDS_INSTALL_FINISH", "Kopēšana pabeigta..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Instalācijas fails vxk5.efd ir bojāts vai nav paredzēts šai instalēšanas programmai."},
    {"IDS_DEFPRODUCT", "<Produkts>"},
    {"IDS_DEFPROVIDER", "<Piegādātājs>"},
    {"IDS_SUCCESS_FINISH", "Konfigurācija ir veiksmīgi instalēta."},
    {"IDS_SUCCESS_OPENDESCR", "Atvērt instalācijas pakotnes aprakstu"},
    {"IDS_PROGRESS_START", "Notiek failu kopēšana..."},
    {"IDS_ERROR_FINISH", "Instalēšanas laikā radās kļūda. Instalēšana ir atcelta. Veidņu mape netika mainīta."},
    {"IDS_CANCEL_FINISH", "Instalēšana ir atcelta. Veidņu mape netika mainīta."},
    {"IDS_BROWSE_SELDIR", "Izvēlētā mape:"},
    {"IDS_BROWSE_OK", "Izvēlēties"},
    {"IDS_BROWSE_CANCEL", "Atcelt"},
    {"IDS_WELCOME_TITLE", "Laipni lūdzam produkta instalēšanas programmā"},
    {"IDS_SETUP_EXISTEDTARGET", "Instalēšanas mapē ir faili, kas instalēšanas laikā var tikt mainīti. Vai vēlaties turpināt?"},
    {"IDS_DESTINATION_PROMPT", "Norādiet ceļu uz veidņu mapi. Instalēšanas programma instalēs veidnes un konfigurācijas failus norādītajā mapē."},
    {"IDS_TEMPLATE_CATALOG", "Veidņu mape:"},
    {"IDS_ERROR_BACKUPKEPT", "Ne visus sākotnējos failus izdevās atjaunot. Oriģināli ir saglabāti mapē:"},
    {"IDS_RECOVERED_INSTALL", "Tika atrasta un sakārtota pārtraukta instalēšana. Veidņu mape:"},
    {"IDS_WAITING_INSTALL", "Gaida, līdz beigsies cita instalēšana šajā mapē..."},
    {"IDS_ERROR_BADTARGET", "Šo ceļu nevar izmantot kā veidņu mapi: tā nav mape vai tajā nevar rakstīt."},
    {"IDS_ERROR_NOTRESTORED", "Šos sākotnējos failus neizdevās atjaunot:"},
}};

}  // namespace vxk5
