#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsTurkmen = {{
    {"IDS_WIZARD_BACK", "< Yza"},
    {"IDS_WIZARD_NEXT", "Öňe >"},
    {"IDS_WIZARD_FINISH", "Tamamla"},
    {"IDS_WIZARD_CANCEL", "Ýatyr"},
    {"IDS_ACCEPT_CANCEL", "Gurnamany hakykatdan hem ýatyrmak isleýärsiňizmi?"},
    {"IDS_TITLE_INSTALLER", "Konfigurasiýa gurnalýar"},
    {"IDS_PREPARECOPY", "Göçürmäge taýýarlanylýar..."},
    {"IDS_INSTALL_ERROR", "Gurnama ýalňyşlygy"},
    {"IDS_ERROR_NOSOURCE", "Gurnama toplumynyň vxk5.efd faýly tapylmady."},
    {"IDS_ERROR_NOTARGET", "Şablonlary häzirki bukja gurnamak goldanylmaýar."},
    {"IDS_ERROR_NOSPACE", "Temp bukjasynda ýeterlik boş ýer ýok."},
    {"IDS_CHOOSEDIR_FOLDER", "&Bukja:"},
    {"IDS_CHOOSEDIR_TITLE", "Bukjany saýlaň"},
    {"IDR_MAINFRAME", "Konfigurasiýa gurnalýar"},
    {"IDS_SETUP_EMPTYTARGET", "Şablon bukjasyna dogry ýoly görkeziň."},
    {"IDS_INSTALL_FINISH", "Göçürme tamamlandy..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Gurnama toplumynyň vxk5.efd faýly zaýalanan ýa-da bu gurnama programmasy üçin niýetlenmedik."},
    {"IDS_DEFPRODUCT", "<Önüm>"},
    {"IDS_DEFPROVIDER", "<Üpjün ediji>"},
    {"IDS_SUCCESS_FINISH", "Konfigurasiýa üstünlikli gurnaldy."},
    {"IDS_SUCCESS_OPENDESCR", "Gurnama toplumynyň beýanyny açmak"},
    {"IDS_PROGRESS_START", "Faýllar göçürilýär..."},
    {"IDS_ERROR_FINISH", "Gurnama wagtynda ýalňyşlyk ýüze çykdy. Gurnama ýatyryldy. Şablon bukjasy üýtgedilmedi."},
    {"IDS_CANCEL_FINISH", "Gurnama ýatyryldy. Şablon bukjasy üýtgedilmedi."},
    {"IDS_BROWSE_SELDIR", "Saýlanan bukja:"},
    {"IDS_BROWSE_OK", "Saýla"},
    {"IDS_BROWSE_CANCEL", "Ýatyr"},
    {"IDS_WELCOME_TITLE", "Gurnama programmasyna hoş geldiňiz. Gurnaljak önüm:"},
    {"IDS_SETUP_EXISTEDTARGET", "Gurnama bukjasynda gurnama wagtynda üýtgedilmegi mümkin bolan faýllar bar. Dowam etmek isleýärsiňizmi?"},
    {"IDS_DESTINATION_PROMPT", "Şablon bukjasyna ýoly görkeziň. Gurnama programmasy şablonlary we konfigurasiýa faýllaryny görkezilen bukja gurnar."},
    {"IDS_TEMPLATE_CATALOG", "Şablon bukjasy:"},
    {"IDS_ERROR_BACKUPKEPT", "Asyl faýllaryň hemmesini dikeldip bolmady. Asyl faýllaryň saklanýan ýeri:"},
    {"IDS_RECOVERED_INSTALL", "Tamamlanmadyk gurnama tapyldy we arassalandy. Şablon bukjasy:"},
    {"IDS_WAITING_INSTALL", "Şu bukja üçin başga bir gurnamanyň tamamlanmagyna garaşylýar..."},
    {"IDS_ERROR_BADTARGET", "Bu ýoly şablon bukjasy hökmünde ulanyp bolmaýar: ol bukja däl ýa-da oňa ýazyp bolmaýar."},
    {"IDS_ERROR_NOTRESTORED", "Şu asyl faýllary dikeldip bolmady:"},
}};

}  // namespace vxk5
