#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/messages.h"

using namespace vxk5;

namespace {

// Parses `arguments` (program name first) with the locale name `locale`.
LaunchOptions Parse(std::vector<std::string> arguments, const char* locale, bool* localeAsked = nullptr) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return ParseCommandLine(static_cast<int32_t>(arguments.size()), argv.data(), [&] {
        if (localeAsked != nullptr) *localeAsked = true;
        return locale;
    });
}

TEST(CommandLine, LocaleChoosesTheLanguageByItsFirstTwoLetters) {
    const LaunchOptions options = Parse({"setup"}, "de_DE.UTF-8");
    EXPECT_EQ(options.languageId, FindLanguageId("de"));
    EXPECT_EQ(options.languageCode, u"de");
    EXPECT_FALSE(options.silent);
    EXPECT_FALSE(options.usecwd);
}

TEST(CommandLine, LocaleTriesLanguageAndTerritoryBeforeTheTwoLetterCut) {
    const struct {
        const char* locale;
        const char* code;
    } cases[] = {{"pt_BR.UTF-8", "pt_BR"}, {"pt_BR", "pt_BR"},       {"pt_BR@latin", "pt_BR"}, {"pt_PT.UTF-8", ""},
                 {"de_DE.UTF-8", "de"},    {"de_AT@euro", "de"},     {"de", "de"},             {"zh_TW.UTF-8", "zh"},
                 {"en_US.UTF-8", "en"},    {"ar_EG.UTF-8", "ar"},    {"C", ""},                {"C.UTF-8", ""},
                 {"POSIX", ""},            {"", ""},                 {"e", ""},                {"pt_BRX.UTF-8", ""}};
    for (const auto& c : cases) EXPECT_STREQ(LocaleLanguageCode(c.locale).c_str(), c.code) << c.locale;

    const LaunchOptions options = Parse({"setup"}, "pt_BR.UTF-8");
    EXPECT_EQ(options.languageId, FindLanguageId("pt_BR"));
    EXPECT_EQ(options.languageCode, u"pt_BR");
    EXPECT_EQ(Parse({"setup"}, "zh_TW.UTF-8").languageCode, u"zh");
}

TEST(CommandLine, UnregisteredLocalesFallBackToEnglish) {
    for (const char* locale : {"pt_PT.UTF-8", "C", "POSIX", "LC_CTYPE=de_DE.UTF-8;LC_NUMERIC=C", "xx_YY"}) {
        const LaunchOptions options = Parse({"setup"}, locale);
        EXPECT_EQ(options.languageId, kLanguageEnglish) << locale;
        EXPECT_EQ(options.languageCode, u"en") << locale;
    }
    EXPECT_EQ(Parse({"setup"}, nullptr).languageId, kLanguageEnglish);
}

TEST(CommandLine, LanguageSwitchNeedsAnExactRegisteredCode) {
    LaunchOptions options = Parse({"setup", "-Lpt_BR"}, "de_DE.UTF-8");
    EXPECT_EQ(options.languageId, 24);
    EXPECT_EQ(options.languageCode, u"pt_BR");
    bool asked = false;
    options = Parse({"setup", "/lru"}, "de_DE.UTF-8", &asked);
    EXPECT_EQ(options.languageCode, u"ru");
    EXPECT_FALSE(asked) << "the locale is not consulted once a switch chose the language";
    EXPECT_EQ(Parse({"setup", "-LDE"}, "fr_FR.UTF-8").languageCode, u"fr");
    EXPECT_EQ(Parse({"setup", "-L"}, "fr_FR.UTF-8").languageCode, u"fr");
}

TEST(CommandLine, ScanEndsAtTheFirstLanguageSwitch) {
    LaunchOptions options = Parse({"setup", "-Lxx", "-S"}, "it_IT.UTF-8");
    EXPECT_FALSE(options.silent);
    EXPECT_EQ(options.languageCode, u"it");
    options = Parse({"setup", "-S", "-Lde"}, "C");
    EXPECT_TRUE(options.silent);
    EXPECT_EQ(options.languageCode, u"de");
    options = Parse({"setup", "-Lde", "-Lfr"}, "C");
    EXPECT_EQ(options.languageCode, u"de");
}

TEST(CommandLine, SilentSwitchForms) {
    for (const char* form : {"/S", "/s", "-S", "-Silent"}) EXPECT_TRUE(Parse({"setup", form}, "C").silent) << form;
    for (const char* form : {"S", "/x", "--help", "-", "+S", "\\S"}) {
        const LaunchOptions options = Parse({"setup", form}, "C");
        EXPECT_FALSE(options.silent) << form;
        EXPECT_EQ(options.languageId, kLanguageEnglish) << form;
    }
}

TEST(CommandLine, UsecwdOnlyAsTheExactFirstArgument) {
    LaunchOptions options = Parse({"setup", "usecwd", "/S"}, "C");
    EXPECT_TRUE(options.usecwd);
    EXPECT_TRUE(options.silent);
    options = Parse({"setup", "/S", "usecwd"}, "C");
    EXPECT_FALSE(options.usecwd);
    EXPECT_TRUE(options.silent);
    EXPECT_FALSE(Parse({"setup", "usecwdx"}, "C").usecwd);
    EXPECT_FALSE(Parse({"setup", "usecw"}, "C").usecwd);
    options = Parse({"setup", "usecwd"}, "C");
    EXPECT_TRUE(options.usecwd);
    // The scan starts after usecwd: a first argument "-S" would not be usecwd.
    EXPECT_TRUE(Parse({"setup", "usecwd", "-Lde"}, "C").languageCode == u"de");
}

}  // namespace
