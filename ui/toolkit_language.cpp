#include "ui/toolkit_language.h"

#include <gtk/gtk.h>

#include <clocale>
#include <cstring>

#include "lang/messages.h"
#include "platform/process_environment.h"

namespace vxk5 {

namespace {

bool IsPlainCLocale(const char* name) {
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

}  // namespace

// Counts catalogue changes: raising it makes every later lookup read the
// catalogues afresh instead of answering from what was looked up before.
extern "C" int _nl_msg_cat_cntr;

void SetCatalogueLanguage(int32_t languageId) {
    const char* catalogue = CatalogueLanguage(languageId);
    if (catalogue == nullptr) catalogue = "en";
    // LANGUAGE outranks the locale's own language in every catalogue lookup.
    // Should it not be settable, GTK keeps the locale's language: its texts
    // then differ from the window's, and nothing else changes.
    if (!SetOwnVariable("LANGUAGE", catalogue)) return;
    // The catalogues ignore LANGUAGE while the messages locale is C or POSIX
    // (a switch such as -Lru in a C locale). Their texts are UTF-8 whatever the
    // locale, so C.UTF-8 lets them translate without changing anything else;
    // where it is missing GTK's texts stay English.
    if (std::strcmp(catalogue, "en") != 0 && IsPlainCLocale(std::setlocale(LC_MESSAGES, nullptr))) {
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    }
    ++_nl_msg_cat_cntr;
}

void PrepareToolkitLanguage(int32_t languageId) {
    SetCatalogueLanguage(languageId);
    // The process locale is already set from the environment; GTK must not set
    // it again and undo the messages category.
    gtk_disable_setlocale();
}

}  // namespace vxk5
