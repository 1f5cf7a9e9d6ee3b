#include "lang/language_texts.h"

namespace vxk5 {

extern const LanguageTexts kTextsPolish = {{
    {"IDS_WIZARD_BACK", "< Wstecz"},
    {"IDS_WIZARD_NEXT", "Dalej >"},
    {"IDS_WIZARD_FINISH", "Zakończ"},
    {"IDS_WIZARD_CANCEL", "Anuluj"},
    {"IDS_ACCEPT_CANCEL", "Czy na pewno chcesz anulować instalację?"},
    {"IDS_TITLE_INSTALLER", "Instalowanie konfiguracji"},
    {"IDS_PREPARECOPY", "Przygotowywanie do kopiowania..."},
    {"IDS_INSTALL_ERROR", "Błąd instalacji"},
    {"IDS_ERROR_NOSOURCE", "Nie znaleziono pliku instalacyjnego vxk5.efd."},
    {"IDS_ERROR_NOTARGET", "Instalowanie szablonów w bieżącym katalogu nie jest obsługiwane."},
    {"IDS_ERROR_NOSPACE", "Za mało miejsca w katalogu Temp."},
    {"IDS_CHOOSEDIR_FOLDER", "&Folder:"},
    {"IDS_CHOOSEDIR_TITLE", "Wybierz katalog"},
    {"IDR_MAINFRAME", "Instalowanie konfiguracji"},
    {"IDS_SETUP_EMPTYTARGET", "Podaj prawidłową ścieżkę do katalogu szablonów."},
    {"IDS_INSTALL_FINISH", "Kopiowanie zakończone..."},
    {"IDS_ERROR_DAMAGEDSOURCE", "Plik instalacyjny vxk5.efd jest uszkodzony lub nie jest przeznaczony dla tego programu instalacyjnego."},
    {"IDS_DEFPRODUCT", "<Produkt>"},
    {"IDS_DEFPROVIDER", "<Dostawca>"},
    {"IDS_SUCCESS_FINISH", "Konfiguracja została pomyślnie zainstalowana."},
    {"IDS_SUCCESS_OPENDESCR", "Otwórz opis pakietu instalacyjnego"},
    {"IDS_PROGRESS_START", "Trwa kopiowanie plików..."},
    {"IDS_ERROR_FINISH", "Podczas instalacji wystąpił błąd. Instalacja została anulowana. Katalog szablonów nie został zmieniony."},
    {"IDS_CANCEL_FINISH", "Instalacja została anulowana. Katalog szablonów nie został zmieniony."},
    {"IDS_BROWSE_SELDIR", "Wybrany katalog:"},
    {"IDS_BROWSE_OK", "Wybierz"},
    {"IDS_BROWSE_CANCEL", "Anuluj"},
    {"IDS_WELCOME_TITLE", "Witamy w programie instalacyjnym produktu"},
    {"IDS_SETUP_EXISTEDTARGET", "Katalog instalacyjny zawiera pliki, które mogą zostać zmienione podczas instalacji. Czy chcesz kontynuować?"},
    {"IDS_DESTINATION_PROMPT", "Podaj ścieżkę do katalogu szablonów. Program instalacyjny zainstaluje szablony i pliki konfiguracyjne we wskazanym katalogu."},
    {"IDS_TEMPLATE_CATALOG", "Katalog szablonów:"},
    {"IDS_ERROR_BACKUPKEPT", "Nie udało się przywrócić wszystkich oryginalnych plików. Oryginały są przechowywane w:"},
    {"IDS_RECOVERED_INSTALL", "Znaleziono i uporządkowano przerwaną instalację. Katalog szablonów:"},
    {"IDS_WAITING_INSTALL", "Oczekiwanie na zakończenie innej instalacji w tym katalogu..."},
    {"IDS_ERROR_BADTARGET", "Tej ścieżki nie można użyć jako katalogu szablonów: nie jest katalogiem lub nie można w niej zapisywać."},
    {"IDS_ERROR_NOTRESTORED", "Nie udało się przywrócić tych oryginalnych plików:"},
}};

}  // namespace vxk5
