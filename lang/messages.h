#pragma once
// Message lookup: 24 language tables keyed by resource-style identifiers.
// The tables and the registry are built before main and only read afterwards.

#include <cstdint>

#include "base/wstring.h"

namespace vxk5 {

constexpr int32_t kLanguageEnglish = 5;
constexpr int32_t kLanguageCount = 24;

// The id (1..24) registered under exactly `code`, or 0.
int32_t FindLanguageId(const char* code);

// The code registered for `id`, or nullptr.
const char* LanguageCode(int32_t id);

// The language name (for LANGUAGE) under which the system's message catalogues
// hold the language of `id`'s table: "zh_CN" for "zh", "en" for English and for
// the Arabic table, which holds the English texts. nullptr for an unknown id.
const char* CatalogueLanguage(int32_t id);

// Chooses the table LoadResString reads. Set once, before any thread starts.
void SetCurrentLanguage(int32_t id);
int32_t GetCurrentLanguage();

// The text of `key` in the current language, or the empty text when the key or
// the language is unknown. There is no fallback to another language.
WString LoadResString(const char* key);
// The same in the language of `id`, whatever the current one.
WString LoadResStringIn(int32_t id, const char* key);

}  // namespace vxk5
