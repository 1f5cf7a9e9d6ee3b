#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsTurkish = {{
    {"IDS_WIZARD_BACK", "< Geri"},
    {"IDS_WIZARD_NEXT", "İleri >"},
    {"IDS_WIZARD_FINISH", "Son"},
    {"IDS_WIZARD_CANCEL", "İptal"},
    {"IDS_ACCEPT_CANCEL", "Kurulumu iptal etmek istediğinizden emin misiniz?"},
    {"IDS_TITLE_INSTALLER", "Yapılandırma kuruluyor"},
    {"IDS_PREPARECOPY", "Kopyalamaya hazırlanıyor..."},
    {"IDS_INSTALL_ERROR", "Kurulum hatası"},
    {"IDS_ERROR_NOSOURCE", "vxk5.efd kurulum dosyası bulunamadı."},
    {"IDS_ERROR_NOTARGET", "Şablonların geçerli dizine kurulması desteklenmiyor."},
    {"IDS_ERROR_NOSPACE", "Temp dizininde yeterli boş alan yok."},
    {"IDS_CHOOSEDIR_FOLDER", "&Klasör:"},
    {"IDS_CHOOSEDIR_TITLE", "Dizin seçin"},
    {"IDR_MAINFRAME", "Yapılandırma kuruluyor"},
    {"IDS_SETUP_EMPTYTARGET", "Şablon dizini için geçerli bir yol belirtin."},
    {"IDS_INSTALL_FINISH", "Kopyalama tamamlandı..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "vxk5.efd kurulum dosyası bozuk veya bu kurulum programı için tasarlanmamış."},
    {"IDS_DEFPRODUCT", "<Ürün>"},
    {"IDS_DEFPROVIDER", "<Satıcı>"},
    {"IDS_SUCCESS_FINISH", "Yapılandırma başarıyla kuruldu."},
    {"IDS_SUCCESS_OPENDESCR", "Dağıtım paketinin açıklamasını aç"},
    {"IDS_PROGRESS_START", "Dosyalar kopyalanıyor..."},
    {"IDS_ERROR_FINISH", "Kurulum sırasında bir hata oluştu. Kurulum iptal edildi. Şablon dizini değiştirilmedi."},
    {"IDS_CANCEL_FINISH", "Kurulum iptal edildi. Şablon dizini değiştirilmedi."},
    {"IDS_BROWSE_SELDIR", "Seçilen dizin:"},
    {"IDS_BROWSE_OK", "Seç"},
    {"IDS_BROWSE_CANCEL", "İptal"},
    {"IDS_WELCOME_TITLE", "Kurulum programına hoş geldiniz. Kurulacak ürün:"},
    {"IDS_SETUP_EXISTEDTARGET", "Kurulum dizini, kurulum sırasında değiştirilebilecek dosyalar içeriyor. Devam etmek istiyor musunuz?"},
    {"IDS_DESTINATION_PROMPT", "Şablon dizininin yolunu belirtin. Kurulum programı şablonları ve yapılandırma dosyalarını belirtilen dizine kuracak."},
    {"IDS_TEMPLATE_CATALOG", "Şablon dizini:"},
    {"IDS_ERROR_BACKUPKEPT", "Özgün dosyaların tümü geri yüklenemedi. Özgün dosyaların saklandığı yer:"},
    {"IDS_RECOVERED_INSTALL", "Yarıda kalmış bir kurulum bulundu ve temizlendi. Şablon dizini:"},
    {"IDS_WAITING_INSTALL", "Bu dizine yapılan başka bir kurulumun bitmesi bekleniyor..."},
    {"IDS_ERROR_BADTARGET", "Bu yol şablon dizini olarak kullanılamaz: bir dizin değil ya da yazılabilir değil."},
    {"IDS_ERROR_NOTRESTORED", "Şu özgün dosyalar geri yüklenemedi:"},
}};

}  // namespace vxk5
