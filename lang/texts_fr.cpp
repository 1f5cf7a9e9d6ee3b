#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsFrench = {{
    {"IDS_WIZARD_BACK", "< Précédent"},
    {"IDS_WIZARD_NEXT", "Suivant >"},
    {"IDS_WIZARD_FINISH", "Terminer"},
    {"IDS_WIZARD_CANCEL", "Annuler"},
    {"IDS_ACCEPT_CANCEL", "Voulez-vous vraiment annuler l’installation ?"},
    {"IDS_TITLE_INSTALLER", "Installation de la configuration"},
    {"IDS_PREPARECOPY", "Préparation de la copie..."},
    {"IDS_INSTALL_ERROR", "Erreur d’installation"},
    {"IDS_ERROR_NOSOURCE", "Le fichier d’installation vxk5.efd est introuvable."},
    {"IDS_ERROR_NOTARGET", "L’installation des modèles dans le répertoire courant n’est pas prise en charge."},
    {"IDS_ERROR_NOSPACE", "Espace insuffisant dans le répertoire Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Dossier :"},
    {"IDS_CHOOSEDIR_TITLE", "Choisir un répertoire"},
    {"IDR_MAINFRAME", "Installation de la configuration"},
    {"IDS_SETUP_EMPTYTARGET", "Indiquez un chemin valide vers le répertoire des modèles."},
    {"IDS_INSTALL_FINISH", "Copie terminée..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Le fichier d’installation vxk5.efd est endommagé ou n’est pas destiné à ce programme d’installation."},
    {"IDS_DEFPRODUCT", "<Produit>"},
    {"IDS_DEFPROVIDER", "<Éditeur>"},
    {"IDS_SUCCESS_FINISH", "La configuration a été installée avec succès."},
    {"IDS_SUCCESS_OPENDESCR", "Ouvrir la description du package d’installation"},
    {"IDS_PROGRESS_START", "Copie des fichiers en cours..."},
    {"IDS_ERROR_FINISH", "Une erreur s’est produite pendant l’installation. L’installation a été annulée. Le répertoire des modèles n’a pas été modifié."},
    {"IDS_CANCEL_FINISH", "L’installation a été annulée. Le répertoire des modèles n’a pas été modifié."},
    {"IDS_BROWSE_SELDIR", "Répertoire sélectionné :"},
    {"IDS_BROWSE_OK", "Sélectionner"},
    {"IDS_BROWSE_CANCEL", "Annuler"},
    {"IDS_WELCOME_TITLE", "Bienvenue dans le programme d’installation du produit"},
    {"IDS_SETUP_EXISTEDTARGET", "Le répertoire d’installation contient des fichiers susceptibles d’être modifiés pendant l’installation. Voulez-vous continuer ?"},
    {"IDS_DESTINATION_PROMPT", "Indiquez le chemin du répertoire des modèles. Le programme d’installation installera les modèles et les fichiers de configuration dans ce répertoire."},
    {"IDS_TEMPLATE_CATALOG", "Répertoire des modèles :"},
    {"IDS_ERROR_BACKUPKEPT", "Certains fichiers d’origine n’ont pas pu être restaurés. Les originaux sont conservés dans :"},
    {"IDS_RECOVERED_INSTALL", "Une installation interrompue a été trouvée et nettoyée. Répertoire des modèles :"},
    {"IDS_WAITING_INSTALL", "En attente de la fin d’une autre installation dans ce répertoire..."},
    {"IDS_ERROR_BADTARGET", "Ce chemin ne peut pas servir de répertoire des modèles : ce n’est pas un répertoire ou il n’est pas accessible en écriture."},
    {"IDS_ERROR_NOTRESTORED", "Ces fichiers d’origine n’ont pas pu être remis en place :"},
}};

}  // namespace vxk5
