// One language per window. Headless: the locale chooses the table, read from
// the real installer's message on standard error. On the test display: GTK's
// own buttons and the folder chooser speak the table's language, and nothing
// is laid out right to left, read from the widgets by the language probe.

#include <locale.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "base/conversion.h"
#include "installer_run.h"
#include "lang/messages.h"

using namespace vxk5;

namespace {

bool LocaleAvailable(const char* name) {
    locale_t locale = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return false;
    freelocale(locale);
    return true;
}

// A table's text, as the installer writes it in a UTF-8 locale.
std::string TextIn(const char* code, const char* key) {
    const int32_t previous = GetCurrentLanguage();
    SetCurrentLanguage(FindLanguageId(code));
    const AString text = ToMultiByte(LoadResString(key));
    SetCurrentLanguage(previous);
    return std::string(text.c_str(), text.length());
}

using LocaleChoice = InstallerRun;

TEST_F(LocaleChoice, LocaleSelectsTheTableByLanguageAndTerritoryThenByLanguage) {
    const struct {
        const char* locale;
        const char* table;
    } cases[] = {{"pt_BR.UTF-8", "pt_BR"}, {"de_DE.UTF-8", "de"}, {"zh_TW.UTF-8", "zh"},
                 {"C", "en"},              {"en_US.UTF-8", "en"}, {"ar_EG.UTF-8", "ar"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        if (!LocaleAvailable(c.locale)) {
            ADD_FAILURE() << "locale " << c.locale << " is not generated (scripts/common.sh generate_locales)";
            continue;
        }
        // No kit: the first message names the kit file, in the chosen table.
        environment_ = {std::string("LANG=") + c.locale, "LANGUAGE=ru"};
        Start({"/S"}, /*display=*/false);
        ASSERT_EQ(Finish(), 0);
        EXPECT_EQ(Errors(), TextIn(c.table, "IDS_ERROR_NOSOURCE") + "\n");
    }
}

TEST_F(LocaleChoice, SwitchStillOutranksTheLocale) {
    if (!LocaleAvailable("pt_BR.UTF-8")) GTEST_SKIP() << "pt_BR.UTF-8 is not generated";
    environment_ = {"LANG=pt_BR.UTF-8"};
    Start({"/S", "-Lde"}, false);
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Errors(), TextIn("de", "IDS_ERROR_NOSOURCE") + "\n");
}

// Runs the language probe (the installer's start-up and window, reporting
// what its widgets show) and collects its "name value" lines.
class ToolkitLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0) GTEST_SKIP() << "no display";
        MakeDirectories(temp_.path("home"));
        MakeDirectories(temp_.path("existing"));
    }

    std::map<std::string, std::string> Probe(const char* locale, std::vector<std::string> arguments,
                                             std::vector<std::string> environment = {}) {
        std::map<std::string, std::string> facts;
        if (!LocaleAvailable(locale)) {
            ADD_FAILURE() << "locale " << locale << " is not generated (scripts/common.sh generate_locales)";
            return facts;
        }
        std::vector<std::string> argv = {VXK5_LANGUAGE_PROBE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        environment.push_back(std::string("LANG=") + locale);
        environment.push_back("HOME=" + temp_.path("home"));
        environment.push_back("PATH=/usr/bin:/bin");
        environment.push_back("VXK5_PROBE_DIRECTORY=" + temp_.path("existing/not/yet/made"));
        // The folder chooser's own leak at exit is GTK's: the GUI tests' suppressions cover it.
        environment.push_back("LSAN_OPTIONS=suppressions=" VXK5_GTK_LSAN_SUPPRESSIONS ":fast_unwind_on_malloc=0");
        for (const char* name : {"DISPLAY", "XAUTHORITY", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (const char* value = std::getenv(name)) environment.push_back(std::string(name) + "=" + value);
        }
        const std::string output = temp_.path("probe.out");
        ChildProcess probe(argv, environment, output, temp_.path("probe.err"));
        int status = -1;
        EXPECT_TRUE(probe.Started() && probe.Wait(60, status)) << "the probe did not end";
        EXPECT_EQ(status, 0) << ReadFile(temp_.path("probe.err"));
        std::istringstream lines(ReadFile(output));
        for (std::string line; std::getline(lines, line);) {
            const size_t space = line.find(' ');
            if (space != std::string::npos) facts[line.substr(0, space)] = line.substr(space + 1);
        }
        return facts;
    }

    TempDir temp_;
};

TEST_F(ToolkitLanguage, RussianSwitchInAGermanLocaleGivesRussianButtonsAndChooser) {
    auto facts = Probe("de_DE.UTF-8", {"-Lru"});
    EXPECT_EQ(facts["language"], "ru");
    EXPECT_EQ(facts["question-yes"], "Да");
    EXPECT_EQ(facts["question-no"], "Нет");
    EXPECT_EQ(facts["chooser-title"], TextIn("ru", "IDS_CHOOSEDIR_TITLE"));
    EXPECT_EQ(facts["chooser-cancel"], "Отмена") << "the wizard's own Cancel";
    EXPECT_EQ(facts["chooser-open"], "Выбрать");
    EXPECT_EQ(facts["error-ok"], "ОК");
    EXPECT_EQ(facts["chooser-folder"], temp_.path("existing")) << "the nearest existing parent of the entry";

    // A user's own LANGUAGE does not outvote the installer's choice.
    facts = Probe("de_DE.UTF-8", {"-Len"}, {"LANGUAGE=de:fr"});
    EXPECT_EQ(facts["question-yes"], "Yes");
    EXPECT_EQ(facts["question-no"], "No");
    EXPECT_EQ(facts["chooser-title"], "Choose Directory");
    EXPECT_EQ(facts["chooser-open"], "Select");
    EXPECT_EQ(facts["error-ok"], "OK");

    facts = Probe("de_DE.UTF-8", {});
    EXPECT_EQ(facts["language"], "de");
    EXPECT_EQ(facts["question-no"], "Nein");
    EXPECT_EQ(facts["chooser-cancel"], "Abbrechen");
}

TEST_F(ToolkitLanguage, BrazilianLocaleAndSwitchesInAPlainCLocale) {
    auto facts = Probe("pt_BR.UTF-8", {});
    EXPECT_EQ(facts["language"], "pt_BR");
    EXPECT_EQ(facts["question-yes"], "Sim");
    EXPECT_EQ(facts["question-no"], "Não");

    // The catalogues ignore LANGUAGE in the C locale; the switch still holds.
    facts = Probe("C", {"-Lru"});
    EXPECT_EQ(facts["question-yes"], "Да");
    EXPECT_EQ(facts["chooser-title"], TextIn("ru", "IDS_CHOOSEDIR_TITLE"));
    facts = Probe("C", {"-Lzh"});
    EXPECT_EQ(facts["question-no"], "否(N)");  // its access key, which a Chinese text has no letter for
}

TEST_F(ToolkitLanguage, ArabicLocaleIsLeftToRightWithEnglishButtons) {
    auto facts = Probe("ar_EG.UTF-8", {});
    EXPECT_EQ(facts["language"], "ar");
    for (const char* what : {"window-direction", "next-direction", "question-direction", "chooser-direction"}) {
        EXPECT_EQ(facts[what], "ltr") << what;
    }
    EXPECT_EQ(facts["question-yes"], "Yes") << "the Arabic table holds the English texts";
    EXPECT_EQ(facts["chooser-cancel"], "Cancel");

    // With GTK left in Arabic, the direction still holds on its own, and the
    // buttons still come from the table.
    facts = Probe("ar_EG.UTF-8", {}, {"VXK5_PROBE_KEEP_CATALOGUES=1"});
    EXPECT_EQ(facts["question-yes"], "Yes");
    for (const char* what : {"window-direction", "next-direction", "question-direction", "chooser-direction"}) {
        EXPECT_EQ(facts[what], "ltr") << what;
    }
}

// GTK's catalogues hold no stock labels for these four: every button of the
// cancel question, of an error box and of the folder chooser is the table's.
TEST_F(ToolkitLanguage, LanguagesWithoutToolkitButtonLabelsShowTheTables) {
    for (const char* language : {"hy", "az", "ka", "tk"}) {
        SCOPED_TRACE(language);
        auto facts = Probe("C.UTF-8", {std::string("-L") + language});
        EXPECT_EQ(facts["language"], language);
        const std::pair<const char*, const char*> shown[] = {
            {"question-yes", "IDS_BUTTON_YES"},  {"question-no", "IDS_BUTTON_NO"}, {"error-ok", "IDS_BUTTON_OK"},
            {"chooser-cancel", "IDS_WIZARD_CANCEL"}, {"chooser-open", "IDS_BROWSE_OK"}};
        for (const auto& [what, key] : shown) {
            EXPECT_EQ(facts[what], TextIn(language, key)) << what;
            for (const char* english : {"Yes", "No", "OK", "Cancel", "Open", "Select"}) EXPECT_NE(facts[what], english) << what;
        }
    }
}

// Under a Latin-1 locale every text still reaches GTK as UTF-8: the kit's
// names, the tables' texts and a path whose bytes are Latin-1 on disk.
TEST_F(ToolkitLanguage, LatinOneLocaleShowsEveryTextAsUtf8) {
    const std::string latin1Directory = temp_.path("\xdc" "bung");  // "Übung" in Latin-1
    MakeDirectories(latin1Directory);
    auto facts = Probe("de_DE.ISO-8859-1", {}, {"VXK5_PROBE_DIRECTORY=" + latin1Directory});
    EXPECT_EQ(facts["language"], "de");
    EXPECT_EQ(facts["welcome-text"], "Willkommen beim Installationsprogramm des Produkts Büro-Desktopvorlagen (Müller & Söhne).");
    EXPECT_EQ(facts["window-title"], "Konfiguration wird installiert");
    EXPECT_EQ(facts["caption-text"], TextIn("de", "IDS_TEMPLATE_CATALOG"));
    EXPECT_EQ(facts["entry-text"], temp_.path("Übung"));
    EXPECT_EQ(facts["question-no"], "Nein");
    EXPECT_EQ(facts["chooser-cancel"], "Abbrechen");
    for (const auto& [name, value] : facts) {
        if (name == "chooser-folder") continue;  // a file name: the file system's bytes
        const WString decoded = FromUtf8(value.c_str(), value.size());
        for (size_t i = 0; i < decoded.length(); ++i) EXPECT_FALSE(IsEscapedByte(decoded[i])) << name << ": " << value;
    }
}

}  // namespace
