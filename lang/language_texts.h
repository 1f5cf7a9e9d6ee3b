#pragma once
// One language's message texts as static data: (key, UTF-8 text) pairs in the
// order of the key list below. The registry builds its ordered tables from them.

#include <cstddef>

namespace vxk5 {

struct MessagePair {
    const char* key;
    const char* text;
};

// Number of message keys every table holds.
constexpr std::size_t kMessageCount = 62;

struct LanguageTexts {
    MessagePair pairs[kMessageCount];
};

// The tables, one per source file (texts_<code>.cpp). Constant-initialised,
// so they are ready before any dynamic initialisation runs.
extern const LanguageTexts kTextsArmenian;     // hy
extern const LanguageTexts kTextsAzerbaijani;  // az
extern const LanguageTexts kTextsBulgarian;    // bg
extern const LanguageTexts kTextsChinese;      // zh
extern const LanguageTexts kTextsEnglish;      // en
extern const LanguageTexts kTextsFrench;       // fr
extern const LanguageTexts kTextsGeorgian;     // ka
extern const LanguageTexts kTextsGerman;       // de
extern const LanguageTexts kTextsGreek;        // el
extern const LanguageTexts kTextsHungarian;    // hu
extern const LanguageTexts kTextsItalian;      // it
extern const LanguageTexts kTextsKazakh;       // kk
extern const LanguageTexts kTextsLatvian;      // lv
extern const LanguageTexts kTextsLithuanian;   // lt
extern const LanguageTexts kTextsPolish;       // pl
extern const LanguageTexts kTextsRomanian;     // ro
extern const LanguageTexts kTextsRussian;      // ru
extern const LanguageTexts kTextsSpanish;      // es
extern const LanguageTexts kTextsTurkish;      // tr
extern const LanguageTexts kTextsUkrainian;    // uk
extern const LanguageTexts kTextsVietnamese;   // vi
extern const LanguageTexts kTextsArabic;       // ar
extern const LanguageTexts kTextsTurkmen;      // tk
extern const LanguageTexts kTextsPortugueseBrazil;  // pt_BR

}  // namespace vxk5
