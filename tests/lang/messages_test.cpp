#include "lang/messages.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/conversion.h"
#include "lang/language_texts.h"
#include "lang/message_format.h"

using namespace vxk5;

namespace {

const char* const kKeys[kMessageCount] = {
    "IDS_WIZARD_BACK",      "IDS_WIZARD_NEXT",        "IDS_WIZARD_FINISH",     "IDS_WIZARD_CANCEL",
    "IDS_ACCEPT_CANCEL",    "IDS_TITLE_INSTALLER",    "IDS_PREPARECOPY",       "IDS_INSTALL_ERROR",
    "IDS_ERROR_NOSOURCE",   "IDS_ERROR_NOTARGET",     "IDS_ERROR_NOSPACE",     "IDS_CHOOSEDIR_FOLDER",
    "IDS_CHOOSEDIR_TITLE",  "IDR_MAINFRAME",          "IDS_SETUP_EMPTYTARGET", "IDS_INSTALL_FINISH",
    "IDS_ERROR_DAMAGEDSOURCE", "IDS_DEFPRODUCT",      "IDS_DEFPROVIDER",       "IDS_SUCCESS_FINISH",
    "IDS_SUCCESS_OPENDESCR", "IDS_PROGRESS_START",    "IDS_ERROR_FINISH",      "IDS_CANCEL_FINISH",
    "IDS_BROWSE_SELDIR",    "IDS_BROWSE_OK",          "IDS_BROWSE_CANCEL",     "IDS_WELCOME_TITLE",
    "IDS_SETUP_EXISTEDTARGET", "IDS_DESTINATION_PROMPT", "IDS_TEMPLATE_CATALOG",  "IDS_ERROR_BACKUPKEPT",
    "IDS_RECOVERED_INSTALL", "IDS_WAITING_INSTALL",   "IDS_ERROR_BADTARGET",   "IDS_WELCOME_TEXT",
    "IDS_BUTTON_YES",       "IDS_BUTTON_NO",          "IDS_BUTTON_OK",
    "IDS_ERROR_UNTRUSTED_NOSIG", "IDS_ERROR_UNTRUSTED_BADSIG", "IDS_ERROR_UNTRUSTED_KEYID",
    "IDS_ERROR_UNTRUSTED_MISMATCH",
    "IDS_ERROR_NOTRESTORED", "IDS_ERROR_CHANGED",     "IDS_ERROR_NOSPACE_TARGET",
    "IDS_ERROR_NOHOME",     "IDS_ERROR_UNKNOWNUSER",  "IDS_BOX_QUESTION",      "IDS_BOX_ERROR",
    "IDS_CHOOSER_PLACES",   "IDS_CHOOSER_SEARCH",     "IDS_CHOOSER_RECENT",    "IDS_CHOOSER_FILESYSTEM",
    "IDS_UNINSTALL_CAPTION", "IDS_UNINSTALL_QUESTION", "IDS_UNINSTALL_NOTHING", "IDS_UNINSTALL_PROGRESS",
    "IDS_UNINSTALL_FINISH", "IDS_UNINSTALL_ERROR",    "IDS_UNINSTALL_PARTIAL", "IDS_UNINSTALL_BADRECORD",
};

// Restores English after each test: the current language is process-wide.
class Messages : public ::testing::Test {
protected:
    void TearDown() override { SetCurrentLanguage(kLanguageEnglish); }
    static std::string Text(const char* key) { return ToMultiByte(LoadResString(key)).c_str(); }
};

TEST_F(Messages, EveryLanguageResolvesEveryKey) {
    std::set<std::string> codes;
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        ASSERT_NE(LanguageCode(id), nullptr);
        EXPECT_TRUE(codes.insert(LanguageCode(id)).second) << "duplicate code " << LanguageCode(id);
        SetCurrentLanguage(id);
        for (const char* key : kKeys) {
            EXPECT_FALSE(LoadResString(key).empty()) << LanguageCode(id) << " " << key;
        }
        EXPECT_NE(Text("IDS_ERROR_NOSOURCE").find("vxk5.efd"), std::string::npos) << LanguageCode(id);
        EXPECT_NE(Text("IDS_ERROR_DAMAGEDSOURCE").find("vxk5.efd"), std::string::npos) << LanguageCode(id);
        // The refusals of an untrusted kit name the kit, and the missing or
        // damaged signature file by its name; each tells its own reason.
        std::set<std::string> refusals;
        for (const char* key : {"IDS_ERROR_UNTRUSTED_NOSIG", "IDS_ERROR_UNTRUSTED_BADSIG", "IDS_ERROR_UNTRUSTED_KEYID",
                                "IDS_ERROR_UNTRUSTED_MISMATCH"}) {
            EXPECT_NE(Text(key).find("vxk5.efd"), std::string::npos) << LanguageCode(id) << " " << key;
            refusals.insert(Text(key));
        }
        EXPECT_EQ(refusals.size(), 4u) << LanguageCode(id);
        EXPECT_NE(Text("IDS_ERROR_UNTRUSTED_NOSIG").find("vxk5.efd.minisig"), std::string::npos) << LanguageCode(id);
        EXPECT_NE(Text("IDS_ERROR_UNTRUSTED_BADSIG").find("vxk5.efd.minisig"), std::string::npos) << LanguageCode(id);
        EXPECT_EQ(Text("IDS_WIZARD_BACK").rfind("<", 0), 0u) << LanguageCode(id);
        EXPECT_EQ(Text("IDS_WIZARD_NEXT").back(), '>') << LanguageCode(id);
        EXPECT_NE(Text("IDS_CHOOSEDIR_FOLDER").find('&'), std::string::npos) << LanguageCode(id);
    }
}

TEST_F(Messages, TablesListTheKeysInOrder) {
    const LanguageTexts* tables[] = {&kTextsEnglish, &kTextsGerman, &kTextsRussian, &kTextsGreek,
                                     &kTextsPortugueseBrazil, &kTextsArabic, &kTextsChinese};
    for (const LanguageTexts* table : tables) {
        for (size_t i = 0; i < kMessageCount; ++i) EXPECT_STREQ(table->pairs[i].key, kKeys[i]);
    }
}

TEST_F(Messages, UnknownKeyOrLanguageGivesEmptyText) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        SetCurrentLanguage(id);
        EXPECT_TRUE(LoadResString("IDS_NO_SUCH_KEY").empty());
    }
    SetCurrentLanguage(99);
    EXPECT_TRUE(LoadResString("IDR_MAINFRAME").empty());
}

TEST_F(Messages, FindLanguageIdIsExactAndCaseSensitive) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) EXPECT_EQ(FindLanguageId(LanguageCode(id)), id);
    EXPECT_EQ(FindLanguageId("en"), kLanguageEnglish);
    EXPECT_NE(FindLanguageId("pt_BR"), 0);
    EXPECT_EQ(FindLanguageId("pt"), 0);
    EXPECT_EQ(FindLanguageId("EN"), 0);
    EXPECT_EQ(FindLanguageId("de_DE"), 0);
    EXPECT_EQ(FindLanguageId(""), 0);
}

TEST_F(Messages, ArabicTableHoldsTheEnglishTexts) {
    for (const char* key : kKeys) {
        SetCurrentLanguage(kLanguageEnglish);
        const WString english = LoadResString(key);
        SetCurrentLanguage(22);
        EXPECT_EQ(LoadResString(key), english) << key;
    }
}

// Texts that a path follows end in a colon (the full-width one in Chinese), so
// the path reads as what the sentence announces.
TEST_F(Messages, TextsBeforeAPathEndInAColon) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        SetCurrentLanguage(id);
        for (const char* key :
             {"IDS_ERROR_BACKUPKEPT", "IDS_RECOVERED_INSTALL", "IDS_TEMPLATE_CATALOG", "IDS_ERROR_NOTRESTORED",
              "IDS_ERROR_UNKNOWNUSER"}) {
            const std::string text = Text(key);
            const bool colon = text.back() == ':' ||
                               (text.size() >= 3 && text.compare(text.size() - 3, 3, "\xef\xbc\x9a") == 0);
            EXPECT_TRUE(colon) << LanguageCode(id) << " " << key << ": " << text;
        }
    }
}

// GTK's buttons and folder chooser speak each table's language: the name given
// to the catalogues must be one GTK has a catalogue for (English needs none).
TEST_F(Messages, EveryTableNamesAnExistingToolkitCatalogue) {
    struct stat info;
    if (stat("/usr/share/locale/de/LC_MESSAGES/gtk20.mo", &info) != 0) GTEST_SKIP() << "no GTK catalogues here";
    EXPECT_STREQ(CatalogueLanguage(FindLanguageId("zh")), "zh_CN");
    EXPECT_STREQ(CatalogueLanguage(FindLanguageId("pt_BR")), "pt_BR");
    EXPECT_STREQ(CatalogueLanguage(FindLanguageId("ar")), "en") << "the Arabic table holds the English texts";
    EXPECT_EQ(CatalogueLanguage(99), nullptr);
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        const std::string catalogue = CatalogueLanguage(id);
        if (catalogue == "en") continue;
        const std::string file = "/usr/share/locale/" + catalogue + "/LC_MESSAGES/gtk20.mo";
        EXPECT_EQ(stat(file.c_str(), &info), 0) << LanguageCode(id) << ": " << file;
    }
}

TEST_F(Messages, KnownTranslations) {
    SetCurrentLanguage(10);
    EXPECT_EQ(LoadResString("IDS_WIZARD_CANCEL"), u"Mégsem");
    SetCurrentLanguage(6);
    EXPECT_EQ(LoadResString("IDS_WIZARD_CANCEL"), u"Annuler");
    SetCurrentLanguage(FindLanguageId("de"));
    EXPECT_EQ(LoadResString("IDS_WIZARD_BACK"), u"< Zurück");
    EXPECT_EQ(LoadResString("IDS_WIZARD_NEXT"), u"Weiter >");
    EXPECT_EQ(LoadResString("IDS_CHOOSEDIR_FOLDER"), u"&Ordner:");
    EXPECT_EQ(LoadResString("IDS_ERROR_NOSOURCE"), u"Die Installationsdatei vxk5.efd wurde nicht gefunden.");
    EXPECT_EQ(LoadResString("IDR_MAINFRAME"), u"Konfiguration wird installiert");
    SetCurrentLanguage(kLanguageEnglish);
    EXPECT_EQ(LoadResString("IDS_PREPARECOPY"), u"Preparing to copy...");
}

// The welcome sentence is whole in each table: both names once each, and the
// sentence's own closing punctuation after the vendor.
TEST_F(Messages, WelcomeSentenceHoldsBothNamesOnceAndEndsInItsLanguage) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        SetCurrentLanguage(id);
        const std::string text = Text("IDS_WELCOME_TEXT");
        SCOPED_TRACE(std::string(LanguageCode(id)) + ": " + text);
        const size_t product = text.find("%1");
        const size_t vendor = text.find("%2");
        ASSERT_NE(product, std::string::npos);
        ASSERT_NE(vendor, std::string::npos);
        EXPECT_LT(product, vendor);
        EXPECT_EQ(text.find("%1", product + 1), std::string::npos);
        EXPECT_EQ(text.find("%2", vendor + 1), std::string::npos);
        const std::string code = LanguageCode(id);
        const std::string ending = code == "zh" ? "\xef\xbc\x89\xe3\x80\x82"  // full-width ")" and "。"
                                   : code == "hy" ? ")\xd6\x89"                  // ")" and the Armenian full stop
                                                  : ").";
        EXPECT_EQ(text.compare(text.size() - ending.size(), ending.size(), ending), 0);
    }
}

// Dialog buttons come from the tables: none of the four languages that GTK
// leaves in English shows an English word, and none is empty.
TEST_F(Messages, DialogButtonsAreTranslated) {
    for (const char* code : {"hy", "az", "ka", "tk"}) {
        SetCurrentLanguage(FindLanguageId(code));
        for (const char* key : {"IDS_BUTTON_YES", "IDS_BUTTON_NO", "IDS_BUTTON_OK", "IDS_WIZARD_CANCEL", "IDS_BROWSE_OK"}) {
            const std::string text = Text(key);
            for (const char* english : {"Yes", "No", "OK", "Cancel", "Open", "Select"}) {
                EXPECT_NE(text, english) << code << " " << key;
            }
        }
    }
}

// The uninstall's question and end page are filled with numbers and a date:
// every table places each of them exactly once, and nothing else numbered.
TEST_F(Messages, UninstallTextsHoldEachPlaceholderOnce) {
    for (int32_t id = 1; id <= kLanguageCount; ++id) {
        SetCurrentLanguage(id);
        for (const char* key : {"IDS_UNINSTALL_QUESTION", "IDS_UNINSTALL_FINISH"}) {
            const std::string text = Text(key);
            SCOPED_TRACE(std::string(LanguageCode(id)) + " " + key + ": " + text);
            for (const char* placeholder : {"%1", "%2", "%3"}) {
                const size_t at = text.find(placeholder);
                ASSERT_NE(at, std::string::npos) << placeholder;
                EXPECT_EQ(text.find(placeholder, at + 1), std::string::npos) << placeholder;
            }
            EXPECT_EQ(text.find("%4"), std::string::npos);
        }
        // The end page lists the kept files after the last count: one line each.
        const std::string finish = Text("IDS_UNINSTALL_FINISH");
        EXPECT_EQ(finish.compare(finish.size() - 2, 2, "%3"), 0) << LanguageCode(id) << ": " << finish;
        EXPECT_EQ(std::count(finish.begin(), finish.end(), '\n'), 3) << LanguageCode(id) << ": " << finish;
        // The question asks: it ends in the language's question mark.
        const std::string question = Text("IDS_UNINSTALL_QUESTION");
        const std::string code = LanguageCode(id);
        const std::string mark = code == "zh" ? "\xef\xbc\x9f" : code == "hy" ? "\xd6\x89" : code == "el" ? ";" : "?";
        EXPECT_EQ(question.compare(question.size() - mark.size(), mark.size(), mark), 0) << code << ": " << question;
    }
}

// What a review of the tables asked for.
TEST_F(Messages, ReviewedTexts) {
    SetCurrentLanguage(FindLanguageId("fr"));
    for (const char* key : {"IDS_ERROR_BACKUPKEPT", "IDS_RECOVERED_INSTALL", "IDS_ERROR_BADTARGET", "IDS_TEMPLATE_CATALOG"}) {
        const std::string text = Text(key);
        EXPECT_EQ(text.find(" :"), std::string::npos) << key << ": a plain blank before the colon";
        EXPECT_NE(text.find("\xc2\xa0:"), std::string::npos) << key;
    }
    SetCurrentLanguage(FindLanguageId("ro"));
    EXPECT_EQ(Text("IDS_SUCCESS_OPENDESCR"), "Deschidere descriere pachet de instalare");
    SetCurrentLanguage(FindLanguageId("ru"));
    for (const char* key : kKeys) EXPECT_EQ(Text(key).find("ё"), std::string::npos) << key;
    SetCurrentLanguage(FindLanguageId("hy"));
    EXPECT_EQ(Text("IDS_WAITING_INSTALL"), "Սպասվում է այս պանակում մեկ այլ տեղադրման ավարտը...");
    EXPECT_EQ(Text("IDS_ERROR_BACKUPKEPT"), "Որոշ սկզբնական ֆայլեր չհաջողվեց վերականգնել։ Բնօրինակները պահված են հետևյալ պանակում:");
    SetCurrentLanguage(FindLanguageId("ka"));
    EXPECT_EQ(Text("IDS_WAITING_INSTALL"), "ამ საქაღალდეში სხვა ინსტალაციის დასრულების ლოდინი...");
}

// Each language's typography, over all of its texts: what slipped into the
// tables before and a review had to find.
TEST_F(Messages, TypographyOfEachLanguage) {
    const auto texts = [](const char* code) {
        SetCurrentLanguage(FindLanguageId(code));
        std::vector<std::pair<std::string, std::string>> all;
        for (const char* key : kKeys) all.emplace_back(key, Text(key));
        return all;
    };
    // French: a no-break space before a colon, semicolon, question or
    // exclamation mark, and the typographic apostrophe.
    for (const auto& [key, text] : texts("fr")) {
        for (const char* plain : {" :", " ;", " ?", " !"}) EXPECT_EQ(text.find(plain), std::string::npos) << "fr " << key;
        EXPECT_EQ(text.find('\''), std::string::npos) << "fr " << key << ": " << text;
    }
    // Italian: the typographic apostrophe.
    for (const auto& [key, text] : texts("it")) EXPECT_EQ(text.find('\''), std::string::npos) << "it " << key << ": " << text;
    // Chinese: the ellipsis is two "…", never one and never three dots.
    for (const auto& [key, text] : texts("zh")) {
        EXPECT_EQ(text.find("..."), std::string::npos) << "zh " << key;
        const std::string ellipsis = "\xe2\x80\xa6";
        for (size_t at = text.find(ellipsis); at != std::string::npos; at = text.find(ellipsis, at + 6)) {
            EXPECT_EQ(text.compare(at, 6, ellipsis + ellipsis), 0) << "zh " << key << ": " << text;
        }
    }
    // German names the kit with its article; Turkish names it with one word.
    for (const auto& [key, text] : texts("de")) {
        for (size_t at = text.find("Installationsdatei "); at != std::string::npos; at = text.find("Installationsdatei ", at + 1)) {
            EXPECT_TRUE(at >= 4 && (text.compare(at - 4, 4, "Die ") == 0 || text.compare(at - 4, 4, "die ") == 0))
                << "de " << key << ": " << text;
        }
    }
    for (const auto& [key, text] : texts("tr")) {
        const bool namesKit = text.find("vxk5.efd ") != std::string::npos || key == "IDS_SUCCESS_OPENDESCR";
        if (namesKit) {
            EXPECT_NE(text.find("urulum dosya"), std::string::npos) << "tr " << key << ": " << text;
        }
        EXPECT_EQ(text.find("paket"), std::string::npos) << "tr " << key << ": " << text;
    }
}

}  // namespace

namespace {

TEST(FillPlaceholders, ReplacesEachNumberOnceAndLeavesTheRest) {
    EXPECT_EQ(FillPlaceholders(u"Welcome %1 (%2).", {u"Büro", u"Acme"}), WString(u"Welcome Büro (Acme)."));
    EXPECT_EQ(FillPlaceholders(u"%2 then %1", {u"a", u"b"}), WString(u"b then a"));
    // An argument is never read as a template itself.
    EXPECT_EQ(FillPlaceholders(u"%1 (%2)", {u"%2", u"x%1"}), WString(u"%2 (x%1)"));
    EXPECT_EQ(FillPlaceholders(u"100%% %3 %x %", {u"a", u"b"}), WString(u"100% %3 %x %"));
    EXPECT_EQ(FillPlaceholders(u"", {u"a"}), WString());
}

}  // namespace
