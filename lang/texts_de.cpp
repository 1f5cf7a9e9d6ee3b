#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsGerman = {{
    {"IDS_WIZARD_BACK", "< Zurück"},
    {"IDS_WIZARD_NEXT", "Weiter >"},
    {"IDS_WIZARD_FINISH", "Fertig"},
    {"IDS_WIZARD_CANCEL", "Abbrechen"},
    {"IDS_ACCEPT_CANCEL", "Möchten Sie die Installation wirklich abbrechen?"},
    {"IDS_TITLE_INSTALLER", "Konfiguration wird installiert"},
    {"IDS_PREPARECOPY", "Kopiervorgang wird vorbereitet..."},
    {"IDS_INSTALL_ERROR", "Installationsfehler"},
    {"IDS_ERROR_NOSOURCE", "Installationsdatei vxk5.efd wurde nicht gefunden."},
    {"IDS_ERROR_NOTARGET", "Die Installation von Vorlagen in das aktuelle Verzeichnis wird nicht unterstützt."},
    {"IDS_ERROR_NOSPACE", "Im Verzeichnis Temp ist nicht genügend Speicherplatz verfügbar."},
    {"IDS_CHOOSEDIR_FOLDER", "&Ordner:"},
    {"IDS_CHOOSEDIR_TITLE", "Verzeichnis auswählen"},
    {"IDR_MAINFRAME", "Konfiguration wird installiert"},
    {"IDS_SETUP_EMPTYTARGET", "Geben Sie einen gültigen Pfad zum Vorlagenverzeichnis an."},
    {"IDS_INSTALL_FINISH", "Kopiervorgang abgeschlossen..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Die Installationsdatei vxk5.efd ist beschädigt oder nicht für dieses Installationsprogramm bestimmt."},
    {"IDS_DEFPRODUCT", "<Produkt>"},
    {"IDS_DEFPROVIDER", "<Anbieter>"},
    {"IDS_SUCCESS_FINISH", "Die Konfiguration wurde erfolgreich installiert."},
    {"IDS_SUCCESS_OPENDESCR", "Beschreibung des Installationspakets öffnen"},
    {"IDS_PROGRESS_START", "Dateien werden kopiert..."},
    {"IDS_ERROR_FINISH", "Bei der Installation ist ein Fehler aufgetreten. Die Installation wurde abgebrochen. Das Vorlagenverzeichnis wurde nicht geändert."},
    {"IDS_CANCEL_FINISH", "Die Installation wurde abgebrochen. Das Vorlagenverzeichnis wurde nicht geändert."},
    {"IDS_BROWSE_SELDIR", "Ausgewähltes Verzeichnis:"},
    {"IDS_BROWSE_OK", "Auswählen"},
    {"IDS_BROWSE_CANCEL", "Abbrechen"},
    {"IDS_WELCOME_TITLE", "Willkommen beim Installationsprogramm des Produkts"},
    {"IDS_SETUP_EXISTEDTARGET", "Das Installationsverzeichnis enthält Dateien, die bei der Installation geändert werden können. Möchten Sie fortfahren?"},
    {"IDS_DESTINATION_PROMPT", "Geben Sie den Pfad zum Vorlagenverzeichnis an. Das Installationsprogramm installiert die Vorlagen und Konfigurationsdateien in das angegebene Verzeichnis."},
    {"IDS_TEMPLATE_CATALOG", "Vorlagenverzeichnis:"},
    {"IDS_ERROR_BACKUPKEPT", "Nicht alle ursprünglichen Dateien konnten wiederhergestellt werden. Die Originale befinden sich in:"},
    {"IDS_RECOVERED_INSTALL", "Eine unterbrochene Installation wurde gefunden und bereinigt. Vorlagenverzeichnis:"},
    {"IDS_WAITING_INSTALL", "Warten auf den Abschluss einer anderen Installation in diesem Verzeichnis..."},
    {"IDS_ERROR_BADTARGET", "Dieser Pfad kann nicht als Vorlagenverzeichnis verwendet werden: Er ist kein Verzeichnis oder nicht beschreibbar."},
    {"IDS_ERROR_NOTRESTORED", "Diese Originaldateien konnten nicht wiederhergestellt werden:"},
}};

}  // namespace vxk5
