#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsRussian = {{
    {"IDS_WIZARD_BACK", "< Назад"},
    {"IDS_WIZARD_NEXT", "Далее >"},
    {"IDS_WIZARD_FINISH", "Готово"},
    {"IDS_WIZARD_CANCEL", "Отмена"},
    {"IDS_ACCEPT_CANCEL", "Вы действительно хотите отменить установку?"},
    {"IDS_TITLE_INSTALLER", "Установка конфигурации"},
    {"IDS_PREPARECOPY", "Подготовка к копированию..."},
    {"IDS_INSTALL_ERROR", "Ошибка установки"},
    {"IDS_ERROR_NOSOURCE", "Не найден файл дистрибутива vxk5.efd."},
    {"IDS_ERROR_NOTARGET", "Установка шаблонов в текущий каталог не поддерживается."},
    {"IDS_ERROR_NOSPACE", "Недостаточно места в каталоге Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Папка:"},
    {"IDS_CHOOSEDIR_TITLE", "Выбор каталога"},
    {"IDR_MAINFRAME", "Установка конфигурации"},
    {"IDS_SETUP_EMPTYTARGET", "Укажите правильный путь к каталогу шаблонов."},
    {"IDS_INSTALL_FINISH", "Копирование завершено..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Файл дистрибутива vxk5.efd поврежден или не предназначен для этой программы установки."},
    {"IDS_DEFPRODUCT", "<Продукт>"},
    {"IDS_DEFPROVIDER", "<Поставщик>"},
    {"IDS_SUCCESS_FINISH", "Конфигурация успешно установлена."},
    {"IDS_SUCCESS_OPENDESCR", "Открыть описание дистрибутива"},
    {"IDS_PROGRESS_START", "Выполняется копирование файлов..."},
    {"IDS_ERROR_FINISH", "В процессе установки произошла ошибка. Установка отменена. Каталог шаблонов не изменен."},
    {"IDS_CANCEL_FINISH", "Установка отменена. Каталог шаблонов не изменен."},
    {"IDS_BROWSE_SELDIR", "Выбранный каталог:"},
    {"IDS_BROWSE_OK", "Выбрать"},
    {"IDS_BROWSE_CANCEL", "Отмена"},
    {"IDS_WELCOME_TITLE", "Добро пожаловать в программу установки продукта"},
    {"IDS_SETUP_EXISTEDTARGET", "Каталог установки содержит файлы, которые могут быть изменены в процессе установки. Продолжить?"},
    {"IDS_DESTINATION_PROMPT", "Укажите путь к каталогу шаблонов. Программа установки скопирует шаблоны и файлы конфигурации в указанный каталог."},
    {"IDS_TEMPLATE_CATALOG", "Каталог шаблонов:"},
    {"IDS_ERROR_BACKUPKEPT", "Не все исходные файлы удалось восстановить. Оригиналы сохранены в каталоге:"},
    {"IDS_RECOVERED_INSTALL", "Обнаружена прерванная установка, её следы удалены. Каталог шаблонов:"},
    {"IDS_WAITING_INSTALL", "Ожидание завершения другой установки в этот каталог..."},
    {"IDS_ERROR_BADTARGET", "Этот путь нельзя использовать как каталог шаблонов: это не каталог или в него нельзя записывать."},
    {"IDS_ERROR_NOTRESTORED", "Не удалось восстановить эти исходные файлы:"},
}};

}  // namespace vxk5
