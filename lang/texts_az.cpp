#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsAzerbaijani = {{
    {"IDS_WIZARD_BACK", "< Geri"},
    {"IDS_WIZARD_NEXT", "İrəli >"},
    {"IDS_WIZARD_FINISH", "Bitir"},
    {"IDS_WIZARD_CANCEL", "Ləğv et"},
    {"IDS_ACCEPT_CANCEL", "Quraşdırmanı həqiqətən ləğv etmək istəyirsiniz?"},
    {"IDS_TITLE_INSTALLER", "Konfiqurasiyanın quraşdırılması"},
    {"IDS_PREPARECOPY", "Köçürməyə hazırlıq..."},
    {"IDS_INSTALL_ERROR", "Quraşdırma xətası"},
    {"IDS_ERROR_NOSOURCE", "vxk5.efd quraşdırma faylı tapılmadı."},
    {"IDS_ERROR_NOTARGET", "Şablonların cari qovluğa quraşdırılması dəstəklənmir."},
    {"IDS_ERROR_NOSPACE", "Temp qovluğunda kifayət qədər boş yer yoxdur."},
    {"IDS_CHOOSEDIR_FOLDER", "&Qovluq:"},
    {"IDS_CHOOSEDIR_TITLE", "Qovluq seçimi"},
    {"IDR_MAINFRAME", "Konfiqurasiyanın quraşdırılması"},
    {"IDS_SETUP_EMPTYTARGET", "Şablon qovluğunun düzgün yolunu göstərin."},
    {"IDS_INSTALL_FINISH", "Köçürmə tamamlandı..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "vxk5.efd quraşdırma faylı zədələnib və ya bu quraşdırma proqramı üçün nəzərdə tutulmayıb."},
    {"IDS_DEFPRODUCT", "<Məhsul>"},
    {"IDS_DEFPROVIDER", "<Təchizatçı>"},
    {"IDS_SUCCESS_FINISH", "Konfiqurasiya uğurla quraşdırıldı."},
    {"IDS_SUCCESS_OPENDESCR", "Quraşdırma paketinin təsvirini aç"},
    {"IDS_PROGRESS_START", "Fayllar köçürülür..."},
    {"IDS_ERROR_FINISH", "Quraşdırma zamanı xəta baş verdi. Quraşdırma ləğv edildi. Şablon qovluğu dəyişdirilmədi."},
    {"IDS_CANCEL_FINISH", "Quraşdırma ləğv edildi. Şablon qovluğu dəyişdirilmədi."},
    {"IDS_BROWSE_SELDIR", "Seçilmiş qovluq:"},
    {"IDS_BROWSE_OK", "Seç"},
    {"IDS_BROWSE_CANCEL", "Ləğv et"},
    {"IDS_WELCOME_TITLE", "Quraşdırma proqramına xoş gəlmisiniz. Quraşdırılacaq məhsul:"},
    {"IDS_SETUP_EXISTEDTARGET", "Quraşdırma qovluğunda quraşdırma zamanı dəyişdirilə biləcək fayllar var. Davam etmək istəyirsiniz?"},
    {"IDS_DESTINATION_PROMPT", "Şablon qovluğunun yolunu göstərin. Quraşdırma proqramı şablonları və konfiqurasiya fayllarını göstərilən qovluğa quraşdıracaq."},
    {"IDS_TEMPLATE_CATALOG", "Şablon qovluğu:"},
    {"IDS_ERROR_BACKUPKEPT", "Bütün orijinal faylları bərpa etmək mümkün olmadı. Orijinalların saxlandığı yer:"},
    {"IDS_RECOVERED_INSTALL", "Yarımçıq qalmış quraşdırma tapıldı və təmizləndi. Şablon qovluğu:"},
    {"IDS_WAITING_INSTALL", "Bu qovluğa aparılan başqa quraşdırmanın başa çatması gözlənilir..."},
    {"IDS_ERROR_BADTARGET", "Bu yol şablon qovluğu kimi istifadə edilə bilməz: qovluq deyil və ya ona yazmaq mümkün deyil."},
    {"IDS_ERROR_NOTRESTORED", "Bu orijinal faylları bərpa etmək mümkün olmadı:"},
}};

}  // namespace vxk5
