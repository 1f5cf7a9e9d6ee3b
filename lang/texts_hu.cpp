#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsHungarian = {{
    {"IDS_WIZARD_BACK", "< Vissza"},
    {"IDS_WIZARD_NEXT", "Tovább >"},
    {"IDS_WIZARD_FINISH", "Befejezés"},
    {"IDS_WIZARD_CANCEL", "Mégsem"},
    {"IDS_ACCEPT_CANCEL", "Biztosan megszakítja a telepítést?"},
    {"IDS_TITLE_INSTALLER", "Konfiguráció telepítése"},
    {"IDS_PREPARECOPY", "Másolás előkészítése..."},
    {"IDS_INSTALL_ERROR", "Telepítési hiba"},
    {"IDS_ERROR_NOSOURCE", "A vxk5.efd telepítőfájl nem található."},
    {"IDS_ERROR_NOTARGET", "A sablonok telepítése az aktuális könyvtárba nem támogatott."},
    {"IDS_ERROR_NOSPACE", "Nincs elég szabad hely a Temp könyvtárban."},
    {"IDS_CHOOSEDIR_FOLDER", "&Mappa:"},
    {"IDS_CHOOSEDIR_TITLE", "Könyvtár kiválasztása"},
    {"IDR_MAINFRAME", "Konfiguráció telepítése"},
    {"IDS_SETUP_EMPTYTARGET", "Adja meg a sablonkönyvtár érvényes elérési útját."},
    {"IDS_INSTALL_FINISH", "A másolás befejeződött..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "A vxk5.efd telepítőfájl sérült, vagy nem ehhez a telepítőprogramhoz készült."},
    {"IDS_DEFPRODUCT", "<Termék>"},
    {"IDS_DEFPROVIDER", "<Forgalmazó>"},
    {"IDS_SUCCESS_FINISH", "A konfiguráció telepítése sikeresen befejeződött."},
    {"IDS_SUCCESS_OPENDESCR", "A telepítőcsomag leírásának megnyitása"},
    {"IDS_PROGRESS_START", "Fájlok másolása folyamatban..."},
    {"IDS_ERROR_FINISH", "Hiba történt a telepítés során. A telepítés megszakadt. A sablonkönyvtár nem módosult."},
    {"IDS_CANCEL_FINISH", "A telepítés megszakadt. A sablonkönyvtár nem módosult."},
    {"IDS_BROWSE_SELDIR", "Kiválasztott könyvtár:"},
    {"IDS_BROWSE_OK", "Kiválasztás"},
    {"IDS_BROWSE_CANCEL", "Mégsem"},
    {"IDS_WELCOME_TITLE", "Üdvözli a telepítőprogram. Telepítendő termék:"},
    {"IDS_SETUP_EXISTEDTARGET", "A telepítési könyvtár olyan fájlokat tartalmaz, amelyek a telepítés során módosulhatnak. Folytatja?"},
    {"IDS_DESTINATION_PROMPT", "Adja meg a sablonkönyvtár elérési útját. A telepítőprogram a megadott könyvtárba telepíti a sablonokat és a konfigurációs fájlokat."},
    {"IDS_TEMPLATE_CATALOG", "Sablonkönyvtár:"},
    {"IDS_ERROR_BACKUPKEPT", "Nem sikerült minden eredeti fájlt visszaállítani. Az eredeti fájlok helye:"},
    {"IDS_RECOVERED_INSTALL", "Egy megszakadt telepítés nyomait a program megtalálta és rendbe tette. Sablonkönyvtár:"},
    {"IDS_WAITING_INSTALL", "Várakozás az ebben a könyvtárban zajló másik telepítés befejeződésére..."},
    {"IDS_ERROR_BADTARGET", "Ez az elérési út nem használható sablonkönyvtárként: nem könyvtár, vagy nem írható."},
    {"IDS_ERROR_NOTRESTORED", "Ezeket az eredeti fájlokat nem sikerült visszaállítani:"},
}};

}  // namespace vxk5
