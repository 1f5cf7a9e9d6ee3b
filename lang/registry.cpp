#include "lang/messages.h"

#include <cstring>
#include <map>
#include <string_view>

#include "base/conversion.h"
#include "lang/language_texts.h"

namespace vxk5 {

namespace {

using MessageTable = std::map<std::string_view, std::string_view>;  // byte-wise key order

struct LanguageEntry {
    const char* code;
    const char* catalogue;
    MessageTable table;
};

MessageTable BuildTable(const LanguageTexts& texts) {
    MessageTable table;
    for (const MessagePair& pair : texts.pairs) table.emplace(pair.key, pair.text);  // first insert wins
    return table;
}

std::map<int32_t, LanguageEntry> BuildRegistry() {
    // The catalogue name is the language under which the system's message
    // catalogues hold the table's language. The Chinese table is written in
    // simplified characters; the Arabic table holds the English texts, so the
    // toolkit speaks English with it too.
    struct Source {
        const char* code;
        const char* catalogue;
        const LanguageTexts& texts;
    };
    const Source sources[kLanguageCount] = {
        {"hy", "hy", kTextsArmenian},    {"az", "az", kTextsAzerbaijani},  {"bg", "bg", kTextsBulgarian},
        {"zh", "zh_CN", kTextsChinese},  {"en", "en", kTextsEnglish},      {"fr", "fr", kTextsFrench},
        {"ka", "ka", kTextsGeorgian},    {"de", "de", kTextsGerman},       {"el", "el", kTextsGreek},
        {"hu", "hu", kTextsHungarian},   {"it", "it", kTextsItalian},      {"kk", "kk", kTextsKazakh},
        {"lv", "lv", kTextsLatvian},     {"lt", "lt", kTextsLithuanian},   {"pl", "pl", kTextsPolish},
        {"ro", "ro", kTextsRomanian},    {"ru", "ru", kTextsRussian},      {"es", "es", kTextsSpanish},
        {"tr", "tr", kTextsTurkish},     {"uk", "uk", kTextsUkrainian},    {"vi", "vi", kTextsVietnamese},
        {"ar", "en", kTextsArabic},      {"tk", "tk", kTextsTurkmen},      {"pt_BR", "pt_BR", kTextsPortugueseBrazil},
    };
    std::map<int32_t, LanguageEntry> registry;
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        const Source& source = sources[id - 1];
        registry.emplace(id, LanguageEntry{source.code, source.catalogue, BuildTable(source.texts)});
    }
    return registry;
}

// Built during static initialisation, released at exit; read-only in between.
const std::map<int32_t, LanguageEntry> g_registry = BuildRegistry();
int32_t g_currentLanguage = kLanguageEnglish;

}  // namespace

int32_t FindLanguageId(const char* code) {
    for (const auto& [id, entry] : g_registry) {
        if (std::strcmp(entry.code, code) == 0) return id;
    }
    return 0;
}

const char* LanguageCode(int32_t id) {
    const auto it = g_registry.find(id);
    return it == g_registry.end() ? nullptr : it->second.code;
}

const char* CatalogueLanguage(int32_t id) {
    const auto it = g_registry.find(id);
    return it == g_registry.end() ? nullptr : it->second.catalogue;
}

void SetCurrentLanguage(int32_t id) { g_currentLanguage = id; }
int32_t GetCurrentLanguage() { return g_currentLanguage; }

WString LoadResString(const char* key) {
    return LoadResStringIn(g_currentLanguage, key);
}

WString LoadResStringIn(int32_t languageId, const char* key) {
    const auto language = g_registry.find(languageId);
    if (language == g_registry.end()) return WString();
    const auto text = language->second.table.find(key);
    if (text == language->second.table.end()) return WString();
    // The tables are UTF-8 whatever the locale's encoding.
    return FromUtf8(text->second.data(), text->second.size());
}

}  // namespace vxk5
