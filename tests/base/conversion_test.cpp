#include "base/conversion.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

using namespace vxk5;

namespace {

// Switches the process locale for one test and restores the default after.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) {
        setenv("LC_ALL", name, 1);
        available_ = InitProcessLocale() != nullptr;
    }
    ~LocaleScope() {
        setenv("LC_ALL", "C.UTF-8", 1);
        InitProcessLocale();
    }
    bool available() const { return available_; }

private:
    bool available_ = false;
};

TEST(Conversion, Utf8MultiByteTextBothWays) {
    LocaleScope scope("C.UTF-8");
    const AString bytes("Gr\xC3\xBC\xC3\x9F" "e \xD0\x9F\xD1\x80\xD0\xB8 \xE4\xB8\xAD");
    const WString wide = FromMultiByte(bytes);
    EXPECT_EQ(wide, u"Grüße При 中");
    EXPECT_EQ(ToMultiByte(wide), bytes);
}

TEST(Conversion, CharactersBeyondTheBmpBecomeSurrogatePairs) {
    LocaleScope scope("C.UTF-8");
    const AString emoji("a\xF0\x9F\x98\x80z");
    const WString wide = FromMultiByte(emoji);
    ASSERT_EQ(wide.length(), 4u);
    EXPECT_EQ(wide[1], 0xD83D);
    EXPECT_EQ(wide[2], 0xDE00);
    EXPECT_EQ(ToMultiByte(wide), emoji);
}

TEST(Conversion, UndecodableBytesRoundTrip) {
    LocaleScope scope("C.UTF-8");
    const AString bytes("ok\xFF\xC3(\xE2\x82 \xED\xA0\x80 \xC0\xAF end");
    const WString wide = FromMultiByte(bytes);
    EXPECT_EQ(wide[2], 0xDCFF);
    EXPECT_EQ(wide[3], 0xDCC3);
    EXPECT_EQ(ToMultiByte(wide), bytes);
}

TEST(Conversion, UnencodableUnitEndsTheText) {
    LocaleScope scope("C.UTF-8");
    const char16_t lone[] = {u'a', u'b', 0xD800, u'c', 0};
    EXPECT_EQ(ToMultiByte(WString(lone)), "ab");
    const char16_t lowEscape[] = {u'x', 0xDC41, u'y', 0};  // U+DC41 is not an escaped byte
    EXPECT_EQ(ToMultiByte(WString(lowEscape)), "x");
}

TEST(Conversion, StopsAtTheFirstZero) {
    const WString withZero(u"ab\0cd", 5);
    EXPECT_EQ(ToMultiByte(withZero), "ab");
    const AString bytes("xy\0z", 4);
    EXPECT_EQ(FromMultiByte(bytes), u"xy");
    EXPECT_EQ(FromMultiByte(AString()), u"");
}

TEST(Conversion, PlainAsciiLocaleConvertsAsUtf8) {
    LocaleScope scope("C");
    EXPECT_TRUE(ConversionIsUtf8());
    EXPECT_EQ(FromMultiByte(AString("\xC3\xA9t\xC3\xA9")), u"été");
}

TEST(Conversion, SingleByteLocaleUsesItsEncoding) {
    LocaleScope scope("de_DE.ISO-8859-1");
    if (!scope.available()) GTEST_SKIP() << "de_DE.ISO-8859-1 not generated";
    EXPECT_FALSE(ConversionIsUtf8());
    EXPECT_EQ(FromMultiByte(AString("Gr\xFC\xDF" "e")), u"Grüße");
    EXPECT_EQ(ToMultiByte(u"Grüße"), AString("Gr\xFC\xDF" "e"));
    EXPECT_EQ(ToMultiByte(u"a中b"), "a") << "a character Latin-1 cannot hold ends the text";
}

TEST(Conversion, ArrayFormsReportTheNeededSize) {
    LocaleScope scope("C.UTF-8");
    const char16_t text[] = u"añb";
    EXPECT_EQ(WideToMultiByte(0, 0, text, 3, nullptr, 0), 4u);
    char small[3] = {'?', '?', '?'};
    EXPECT_EQ(WideToMultiByte(0, 0, text, 3, small, 2), 4u);
    EXPECT_EQ(small[0], 'a');
    EXPECT_EQ(small[1], 0) << "a character that does not fit whole is not stored";
    EXPECT_EQ(small[2], '?');
    char16_t units[2] = {0, 0};
    EXPECT_EQ(MultiByteToWide(0, 0, "a\xC3\xB1" "b", 4, units, 2), 3u);
    EXPECT_EQ(units[1], u'ñ');
}

// A conversion that stops early says so: a path cut short would name another file.
TEST(ConversionWhole, TellsWhenTheTextWasCutShort) {
    AString bytes;
    EXPECT_TRUE(ToMultiByteWhole(u"plain/\u00e9\U0001F600", bytes));
    const struct {
        std::u16string text;
        const char* prefix;
    } cut[] = {
        {std::u16string(u"user.txt\xD800.new"), "user.txt"},
        {std::u16string(u"x\xDC00y.txt"), "x"},
        {std::u16string(u"a\xDBFF"), "a"},
        {std::u16string(u"a\0b", 3), "a"},
    };
    for (const auto& c : cut) {
        const WString text(c.text.c_str(), c.text.size());
        EXPECT_FALSE(ToMultiByteWhole(text, bytes));
        EXPECT_STREQ(bytes.c_str(), c.prefix);
        EXPECT_STREQ(ToMultiByte(text).c_str(), c.prefix);  // texts that are only shown keep the prefix
        bool whole = true;
        char target[64];
        WideToMultiByte(0, 0, text.c_str(), text.length(), target, sizeof target, &whole);
        // The array form's source ends at a 0 unit: only the surrogates cut it short.
        EXPECT_EQ(whole, c.text.find(u'\0') != std::u16string::npos);
    }
    // Escaped undecodable bytes convert back whole.
    const WString escaped = FromMultiByte(AString("caf\xE9"));
    EXPECT_TRUE(ToMultiByteWhole(escaped, bytes));
    EXPECT_STREQ(bytes.c_str(), "caf\xE9");
}

TEST(Conversion, StdStringFormsFollowTheSameRules) {
    LocaleScope scope("C.UTF-8");
    // An undecodable byte travels as its escape unit and comes back unchanged.
    const std::string bytes = "caf\xE9 \xC3\xA9t\xC3\xA9";
    const WString wide = FromMultiByte(bytes);
    EXPECT_EQ(wide, FromMultiByte(AString(bytes.c_str())));
    EXPECT_EQ(ToMultiByteString(wide), bytes);
    // Both directions stop at a 0 byte or unit, as the AString forms do.
    EXPECT_EQ(FromMultiByte(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(ToMultiByteString(WString(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(ToMultiByteString(u""), "");
}

}  // namespace
