// Choosing access keys: each control of a set gets a key of its own, from its
// own text where it can.

#include "ui/access_keys.h"

#include <gtest/gtest.h>

using namespace vxk5;

namespace {

std::vector<std::string> Assign(std::vector<AccessKeyRequest> requests, std::set<gunichar> reserved = {}) {
    return AssignAccessKeys(requests, reserved);
}

TEST(AccessKeys, FirstLetterOfAWordThenAnyLetterAndNeverTwice) {
    EXPECT_EQ(Assign({{u"Next >"}, {u"< Back"}, {u"Cancel"}}), (std::vector<std::string>{"_Next >", "< _Back", "_Cancel"}));
    // German: Abbrechen and Auswählen both begin with A.
    EXPECT_EQ(Assign({{u"Auswählen"}, {u"Abbrechen"}}), (std::vector<std::string>{"_Auswählen", "A_bbrechen"}));
    // A later word's first letter comes before other letters of the first word.
    EXPECT_EQ(Assign({{u"Open"}, {u"Open description"}}), (std::vector<std::string>{"_Open", "Open _description"}));
    // Case does not make another key; the arrows and blanks are never keys.
    EXPECT_EQ(Assign({{u"nein"}, {u"< Nächste >"}}), (std::vector<std::string>{"_nein", "< N_ächste >"}));
}

TEST(AccessKeys, KeysTakenBeforeAreAvoidedAndTheNewOnesAdded) {
    std::set<gunichar> reserved = {U'a', U'l'};
    EXPECT_EQ(AssignAccessKeys({{u"Auswählen"}, {u"Abbrechen"}}, reserved),
              (std::vector<std::string>{"A_uswählen", "A_bbrechen"}));
    EXPECT_EQ(reserved, (std::set<gunichar>{U'a', U'l', U'u', U'b'}));
    // Other scripts: keys compare in lower case there too.
    EXPECT_EQ(Assign({{u"Отмена"}, {u"отменить"}}), (std::vector<std::string>{"_Отмена", "о_тменить"}));
}

TEST(AccessKeys, TextsWithoutAFreeLetterGetOneAddedFromTheHint) {
    // Chinese: no key on a character; the English text's letter is added
    // before the closing marks.
    EXPECT_EQ(Assign({{u"下一步 >", u"Next >"}, {u"< 上一步", u"< Back"}, {u"模板目录：", u"Template directory:"}}),
              (std::vector<std::string>{"下一步(_N) >", "< 上一步(_B)", "模板目录(_T)："}));
    // The hint's letter taken: another of its letters, else the first free one.
    EXPECT_EQ(Assign({{u"取消", u"Cancel"}, {u"关闭", u"Close"}}), (std::vector<std::string>{"取消(_C)", "关闭(_L)"}));
    EXPECT_EQ(Assign({{u"是", u"Yes"}, {u"好", u"Yes"}, {u"否"}}), (std::vector<std::string>{"是(_Y)", "好(_E)", "否(_A)"}));
    // Every letter taken.
    EXPECT_EQ(Assign({{u"ab"}, {u"ba"}}), (std::vector<std::string>{"_ab", "_ba"}));
    EXPECT_EQ(Assign({{u"ab"}, {u"ba"}, {u"ab", u"Cancel"}}), (std::vector<std::string>{"_ab", "_ba", "ab(_C)"}));
}

TEST(AccessKeys, UnderscoresOfTheTextStayUnderscores) {
    const std::vector<std::string> labels = Assign({{u"_x_y"}});
    EXPECT_EQ(labels, (std::vector<std::string>{"___x__y"}));
    EXPECT_EQ(AccessKeyOf(labels[0]), U'x');
    EXPECT_EQ(AccessKeyOf("下一步(_N) >"), U'n');
    EXPECT_EQ(AccessKeyOf("no__key"), 0u);
}

}  // namespace
