#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsKazakh = {{
    {"IDS_WIZARD_BACK", "< Артқа"},
    {"IDS_WIZARD_NEXT", "Келесі >"},
    {"IDS_WIZARD_FINISH", "Дайын"},
    {"IDS_WIZARD_CANCEL", "Бас тарту"},
    {"IDS_ACCEPT_CANCEL", "Орнатудан шынымен бас тартқыңыз келе ме?"},
    {"IDS_TITLE_INSTALLER", "Конфигурацияны орнату"},
    {"IDS_PREPARECOPY", "Көшіруге дайындық..."},
    {"IDS_INSTALL_ERROR", "Орнату қатесі"},
    {"IDS_ERROR_NOSOURCE", "vxk5.efd дистрибутив файлы табылмады."},
    {"IDS_ERROR_NOTARGET", "Үлгілерді ағымдағы каталогқа орнатуға қолдау көрсетілмейді."},
    {"IDS_ERROR_NOSPACE", "Temp каталогында бос орын жеткіліксіз."},
    {"IDS_CHOOSEDIR_FOLDER", "&Қалта:"},
    {"IDS_CHOOSEDIR_TITLE", "Каталогты таңдау"},
    {"IDR_MAINFRAME", "Конфигурацияны орнату"},
    {"IDS_SETUP_EMPTYTARGET", "Үлгілер каталогына апаратын дұрыс жолды көрсетіңіз."},
    {"IDS_INSTALL_FINISH", "Көшіру аяқталды..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "vxk5.efd дистрибутив файлы зақымдалған немесе осы орнату бағдарламасына арналмаған."},
    {"IDS_DEFPRODUCT", "<Өнім>"},
    {"IDS_DEFPROVIDER", "<Жеткізуші>"},
    {"IDS_SUCCESS_FINISH", "Конфигурация сәтті орнатылды."},
    {"IDS_SUCCESS_OPENDESCR", "Дистрибутив сипаттамасын ашу"},
    {"IDS_PROGRESS_START", "Файлдар көшірілуде..."},
    {"IDS_ERROR_FINISH", "Орнату кезінде қате орын алды. Орнату тоқтатылды. Үлгілер каталогы өзгертілмеді."},
    {"IDS_CANCEL_FINISH", "Орнату тоқтатылды. Үлгілер каталогы өзгертілмеді."},
    {"IDS_BROWSE_SELDIR", "Таңдалған каталог:"},
    {"IDS_BROWSE_OK", "Таңдау"},
    {"IDS_BROWSE_CANCEL", "Бас тарту"},
    {"IDS_WELCOME_TITLE", "Орнату бағдарламасына қош келдіңіз. Орнатылатын өнім:"},
    {"IDS_SETUP_EXISTEDTARGET", "Орнату каталогында орнату кезінде өзгертілуі мүмкін файлдар бар. Жалғастырғыңыз келе ме?"},
    {"IDS_DESTINATION_PROMPT", "Үлгілер каталогына апаратын жолды көрсетіңіз. Орнату бағдарламасы үлгілер мен конфигурация файлдарын көрсетілген каталогқа орнатады."},
    {"IDS_TEMPLATE_CATALOG", "Үлгілер каталогы:"},
    {"IDS_ERROR_BACKUPKEPT", "Бастапқы файлдардың барлығын қалпына келтіру мүмкін болмады. Бастапқы файлдар сақталған орын:"},
    {"IDS_RECOVERED_INSTALL", "Үзілген орнату табылып, тазартылды. Үлгілер каталогы:"},
    {"IDS_WAITING_INSTALL", "Осы каталогтағы басқа орнатудың аяқталуы күтілуде..."},
    {"IDS_ERROR_BADTARGET", "Бұл жолды үлгілер каталогы ретінде пайдалану мүмкін емес: ол каталог емес немесе оған жазу мүмкін емес."},
    {"IDS_ERROR_NOTRESTORED", "Мына бастапқы файлдарды қалпына келтіру мүмкін болмады:"},
}};

}  // namespace vxk5
