#include "base/multi_value_map.h"

#include <gtest/gtest.h>

using namespace vxk5;

namespace {

TEST(MultiValueMap, KeysAndValuesIgnoreCaseAndKeepFirstSpelling) {
    MultiValueMap map;
    EXPECT_TRUE(AddValue(map, u"Location", u"/a"));
    EXPECT_FALSE(AddValue(map, u"LOCATION", u"/A"));
    ASSERT_EQ(map.entries.size(), 1u);
    EXPECT_EQ(map.entries[0].key, u"Location");
    ASSERT_EQ(map.entries[0].values.size(), 1u);
    EXPECT_EQ(map.entries[0].values[0], u"/a");
}

TEST(MultiValueMap, ValuesKeepOrderWithoutDuplicates) {
    MultiValueMap map;
    AddValue(map, u"k", u"x");
    AddValue(map, u"k", u"y");
    AddValue(map, u"k", u"x");
    const auto* values = FindValues(map, u"K");
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(*values, (std::vector<WString>{u"x", u"y"}));
    EXPECT_EQ(FindValues(map, u"absent"), nullptr);
}

TEST(MultiValueMap, SetValuesKeepsPlaceOrMovesToEnd) {
    MultiValueMap map;
    AddValue(map, u"First", u"1");
    AddValue(map, u"Second", u"2");
    AddValue(map, u"Third", u"3");
    SetValues(map, u"SECOND", {u"a", u"b"});
    ASSERT_EQ(map.entries.size(), 3u);
    EXPECT_EQ(map.entries[1].key, u"Second");
    EXPECT_EQ(map.entries[1].values, (std::vector<WString>{u"a", u"b"}));

    SetValues(map, u"first", {});
    ASSERT_EQ(map.entries.size(), 3u);
    EXPECT_EQ(map.entries[2].key, u"first");
    EXPECT_TRUE(map.entries[2].values.empty());
    ASSERT_NE(FindValues(map, u"First"), nullptr);
    EXPECT_TRUE(FindValues(map, u"First")->empty());

    SetValues(map, u"New", {u"n"});
    EXPECT_EQ(map.entries.back().key, u"New");
}

// The hash index finds what a scan under CompareNoCase finds, however the map
// was filled, and keeps the order of keys and values.
TEST(MultiValueMap, IndexAgreesWithCaseInsensitiveScan) {
    MultiValueMap map;
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_TRUE(AddValue(map, WString(std::u16string(u"Key" + std::u16string(n.begin(), n.end())).c_str()), u"v"));
    }
    for (int i = 0; i < 50; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_TRUE(AddValue(map, u"Many", WString(std::u16string(u"Value" + std::u16string(n.begin(), n.end())).c_str())));
    }
    EXPECT_FALSE(AddValue(map, u"KEY2999", u"V"));
    EXPECT_FALSE(AddValue(map, u"many", u"VALUE49"));
    EXPECT_FALSE(AddValue(map, u"MANY", u"value0"));
    ASSERT_EQ(map.entries.size(), 3001u);
    EXPECT_EQ(map.entries[1234].key, u"Key1234");
    ASSERT_NE(FindValues(map, u"kEY1234"), nullptr);
    EXPECT_EQ(FindValues(map, u"kEY1234"), &map.entries[1234].values);
    EXPECT_EQ(FindValues(map, u"Key3000"), nullptr);
    EXPECT_EQ(map.entries.back().values.size(), 50u);
    EXPECT_EQ(map.entries.back().values[49], u"Value49");

    // An entry removed by SetValues moves the later ones down: still found.
    SetValues(map, u"key0", {});
    EXPECT_EQ(map.entries.back().key, u"key0");  // held once, as given
    EXPECT_EQ(FindValues(map, u"KEY1"), &map.entries[0].values);
    EXPECT_TRUE(AddValue(map, u"key0", u"again"));
    EXPECT_EQ(map.entries.back().values, (std::vector<WString>{u"again"}));

    // Entries appended directly are found too.
    map.entries.push_back(MultiValueEntry{u"Direct", {u"d"}});
    ASSERT_NE(FindValues(map, u"DIRECT"), nullptr);
    EXPECT_FALSE(AddValue(map, u"direct", u"D"));
    EXPECT_TRUE(AddValue(map, u"direct", u"e"));
    EXPECT_EQ(map.entries.back().values, (std::vector<WString>{u"d", u"e"}));

    // SetValues stores its list unchecked; AddValue then sees the new list.
    SetValues(map, u"many", {u"x", u"y", u"z", u"1", u"2", u"3", u"4", u"5", u"6", u"7"});
    EXPECT_FALSE(AddValue(map, u"Many", u"Z"));
    EXPECT_TRUE(AddValue(map, u"Many", u"Value0"));
}

}  // namespace
