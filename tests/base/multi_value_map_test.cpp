#include "base/multi_value_map.h"

#include <gtest/gtest.h>

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

}  // namespace
