#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsItalian = {{
    {"IDS_WIZARD_BACK", "< Indietro"},
    {"IDS_WIZARD_NEXT", "Avanti >"},
    {"IDS_WIZARD_FINISH", "Fine"},
    {"IDS_WIZARD_CANCEL", "Annulla"},
    {"IDS_ACCEPT_CANCEL", "Annullare l'installazione?"},
    {"IDS_TITLE_INSTALLER", "Installazione della configurazione"},
    {"IDS_PREPARECOPY", "Preparazione della copia..."},
    {"IDS_INSTALL_ERROR", "Errore di installazione"},
    {"IDS_ERROR_NOSOURCE", "File di installazione vxk5.efd non trovato."},
    {"IDS_ERROR_NOTARGET", "L'installazione dei modelli nella cartella corrente non è supportata."},
    {"IDS_ERROR_NOSPACE", "Spazio insufficiente nella cartella Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Cartella:"},
    {"IDS_CHOOSEDIR_TITLE", "Seleziona cartella"},
    {"IDR_MAINFRAME", "Installazione della configurazione"},
    {"IDS_SETUP_EMPTYTARGET", "Specificare un percorso valido per la cartella dei modelli."},
    {"IDS_INSTALL_FINISH", "Copia completata..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Il file di installazione vxk5.efd è danneggiato o non è destinato a questo programma di installazione."},
    {"IDS_DEFPRODUCT", "<Prodotto>"},
    {"IDS_DEFPROVIDER", "<Fornitore>"},
    {"IDS_SUCCESS_FINISH", "Configurazione installata correttamente."},
    {"IDS_SUCCESS_OPENDESCR", "Apri la descrizione del pacchetto di installazione"},
    {"IDS_PROGRESS_START", "Copia dei file in corso..."},
    {"IDS_ERROR_FINISH", "Si è verificato un errore durante l'installazione. L'installazione è stata annullata. La cartella dei modelli non è stata modificata."},
    {"IDS_CANCEL_FINISH", "L'installazione è stata annullata. La cartella dei modelli non è stata modificata."},
    {"IDS_BROWSE_SELDIR", "Cartella selezionata:"},
    {"IDS_BROWSE_OK", "Seleziona"},
    {"IDS_BROWSE_CANCEL", "Annulla"},
    {"IDS_WELCOME_TITLE", "Benvenuti nel programma di installazione del prodotto"},
    {"IDS_SETUP_EXISTEDTARGET", "La cartella di installazione contiene file che potrebbero essere modificati durante l'installazione. Continuare?"},
    {"IDS_DESTINATION_PROMPT", "Specificare il percorso della cartella dei modelli. Il programma di installazione installerà i modelli e i file di configurazione nella cartella specificata."},
    {"IDS_TEMPLATE_CATALOG", "Cartella dei modelli:"},
    {"IDS_ERROR_BACKUPKEPT", "Non è stato possibile ripristinare tutti i file originali. Gli originali sono conservati in:"},
    {"IDS_RECOVERED_INSTALL", "È stata trovata e ripulita un'installazione interrotta. Cartella dei modelli:"},
    {"IDS_WAITING_INSTALL", "In attesa che termini un'altra installazione in questa cartella..."},
    {"IDS_ERROR_BADTARGET", "Questo percorso non può essere usato come cartella dei modelli: non è una cartella o non è scrivibile."},
    {"IDS_ERROR_NOTRESTORED", "Non è stato possibile ripristinare questi file originali:"},
}};

}  // namespace vxk5
