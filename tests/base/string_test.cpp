#include "base/wstring.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace vxk5;

namespace {

WString Repeat(char16_t unit, size_t n) {
    WString s;
    s.resize(n, unit);
    return s;
}

TEST(WStringStorage, InlineUpToElevenUnitsThenHeapWithExactFirstBlock) {
    WString s(u"abcdefghijk");
    ASSERT_EQ(s.length(), 11u);
    EXPECT_TRUE(s.IsInline());
    s.append(u"l", 1);
    EXPECT_FALSE(s.IsInline());
    EXPECT_EQ(s.HeapCapacity(), 16u);  // 12 characters + the 4 units of the count
    EXPECT_EQ(s, u"abcdefghijkl");
    s.erase(3, 100);
    EXPECT_EQ(s, u"abc");
    EXPECT_FALSE(s.IsInline()) << "a heap string never returns to the inline form";
    EXPECT_EQ(s.c_str()[3], 0);
}

TEST(WStringStorage, AStringInlineLimitIs23Bytes) {
    AString a("0123456789012345678901");
    a.push_back('2');
    EXPECT_TRUE(a.IsInline());
    EXPECT_EQ(a.length(), 23u);
    a.push_back('3');
    EXPECT_FALSE(a.IsInline());
    EXPECT_EQ(a.HeapCapacity(), 24u + 8u);
    EXPECT_EQ(a.c_str()[24], 0);
}

TEST(WStringStorage, GrowthTakesHalfAgainRoundedToSizeClass) {
    WString s = Repeat(u'x', 12);   // capacity 16 units = 32 bytes
    s.push_back(u'y');              // needs 17: max(17, 16 + 8) = 24 units = 48 bytes, multiple of 8
    EXPECT_EQ(s.HeapCapacity(), 24u);
    WString big = Repeat(u'x', 300);  // exact first block: 304 units
    EXPECT_EQ(big.HeapCapacity(), 304u);
    big.push_back(u'y');            // 456 units = 912 bytes, class of 32 -> 928 bytes
    EXPECT_EQ(big.HeapCapacity(), 464u);
    EXPECT_EQ(big.length(), 301u);
}

// What a size class must give, whatever the table: never less than asked,
// little more, a class's own size is kept, and a larger request never gets a
// smaller block. Blocks past 16 KiB are taken exactly.
TEST(WStringStorage, SizeClassesNeverShrinkAndWasteLittle) {
    size_t previous = 0;
    for (size_t bytes = 1; bytes <= 20000; ++bytes) {
        const size_t rounded = WString::RoundToSizeClass(bytes);
        ASSERT_GE(rounded, bytes);
        ASSERT_LE(rounded - bytes, bytes / 16 + 8) << bytes;
        ASSERT_EQ(WString::RoundToSizeClass(rounded), rounded) << bytes;
        ASSERT_GE(rounded, previous) << bytes;
        if (bytes <= 16384) {
            ASSERT_EQ(rounded % 8, 0u) << bytes;  // whole units of every width
        } else {
            ASSERT_EQ(rounded, bytes);
        }
        previous = rounded;
    }
}

TEST(WStringCopyOnWrite, AppendToCopyLeavesOriginalAndItsBlockAlone) {
    WString a = Repeat(u'a', 20);
    const char16_t* block = a.c_str();
    WString b = a;
    EXPECT_EQ(b.c_str(), block);
    EXPECT_EQ(a.SharedCount(), 2);
    b.append(u"!", 1);
    EXPECT_EQ(a.c_str(), block);
    EXPECT_EQ(a, Repeat(u'a', 20));
    EXPECT_NE(b.c_str(), block);
    EXPECT_EQ(a.SharedCount(), 1);
    EXPECT_EQ(b.length(), 21u);
}

TEST(WStringCopyOnWrite, EveryMutatorDetachesFirst) {
    const WString original = Repeat(u'q', 30);
    WString s = original;
    s.erase(0, 1);
    WString t = original;
    t.resize(40, u'z');
    WString u = original;
    u.MutableData()[0] = u'!';
    WString v = original;
    v.assign(u"short", 5);
    WString w = original;
    const WString r(u"R");
    w.replace(0, 1, r.c_str(), r.c_str() + 1);
    EXPECT_EQ(original, Repeat(u'q', 30));
    EXPECT_EQ(original.SharedCount(), 1);
    EXPECT_EQ(v, u"short");
    EXPECT_EQ(w[0], u'R');
}

TEST(WStringEdit, SelfAppendDoublesTheText) {
    WString s(u"abc");
    s.append(s);
    EXPECT_EQ(s, u"abcabc");
    WString h = Repeat(u'h', 20);
    h.append(h.c_str() + 10, 10);  // a run of its own text, across a reallocation
    EXPECT_EQ(h, Repeat(u'h', 30));
    WString shared = Repeat(u'k', 15);
    WString other = shared;
    other.append(other);
    EXPECT_EQ(other, Repeat(u'k', 30));
    EXPECT_EQ(shared, Repeat(u'k', 15));
}

TEST(WStringEdit, EraseBounds) {
    WString s(u"abc");
    s.erase(3, 1);
    EXPECT_EQ(s, u"abc");
    EXPECT_THROW(s.erase(4, 1), std::out_of_range);
    EXPECT_EQ(s, u"abc");
    try {
        s.erase(5, 0);
        ADD_FAILURE() << "erasing from past the end must throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "basic_string");
    }
    s.erase(1, WString::npos);
    EXPECT_EQ(s, u"a");
    WString t(u"hello world");
    const char16_t* next = t.erase(t.c_str() + 5, t.c_str() + 11);
    EXPECT_EQ(t, u"hello");
    EXPECT_EQ(next, t.c_str() + 5);
}

TEST(WStringEdit, AppendRangeChecksPosition) {
    WString s(u"x");
    const WString other(u"abcdef");
    s.append(other, 2, 100);
    EXPECT_EQ(s, u"xcdef");
    s.append(other, 6, 1);
    EXPECT_EQ(s, u"xcdef");
    EXPECT_THROW(s.append(other, 7, 1), std::out_of_range);
}

TEST(WStringEdit, InsertReplaceAndResize) {
    WString s(u"ad");
    const WString mid(u"bc");
    s.insert(1, mid.c_str(), mid.c_str() + 2);
    EXPECT_EQ(s, u"abcd");
    s.insert(0, s.c_str() + 2, s.c_str() + 4);  // from itself
    EXPECT_EQ(s, u"cdabcd");
    s.replace(0, 2, s.c_str() + 2, s.c_str() + 6);  // source inside the string
    EXPECT_EQ(s, u"abcdabcd");
    const WString longer(u"0123456789012");
    s.replace(1, 1, longer.c_str(), longer.c_str() + 13);
    EXPECT_EQ(s, u"a0123456789012cdabcd");
    s.resize(2);
    EXPECT_EQ(s, u"a0");
    s.resize(4, u'-');
    EXPECT_EQ(s, u"a0--");
}

TEST(WStringEdit, ConcatenationMakesTheResultAtItsFinalSize) {
    const WString a(u"0123456789");
    const WString c = a + u"abcdef";
    EXPECT_EQ(c, u"0123456789abcdef");
    EXPECT_EQ(c.HeapCapacity(), 16u + 4u);
    const WString d = u"/" + a;
    EXPECT_TRUE(d.IsInline());
    EXPECT_EQ(d, u"/0123456789");
    AString x("abc");
    EXPECT_EQ(x + "def", "abcdef");
    EXPECT_EQ("<" + x, "<abc");
}

TEST(WStringEdit, EqualityWithLiteralUsesLength) {
    WString root(u"/");
    EXPECT_TRUE(root == u"/");
    WString withZero(u"/\0x", 3);
    EXPECT_FALSE(withZero == u"/");
    EXPECT_EQ(withZero.length(), 3u);
}

TEST(StringErrors, ReplacePastTheEndIsOutOfRange) {
    WString text(u"abc");
    const char16_t source[] = u"xy";
    EXPECT_THROW(text.replace(5, 1, source, source + 2), std::out_of_range);
    EXPECT_THROW(text.replace(4, 0, source, source + 2), std::out_of_range);
    EXPECT_EQ(text, u"abc");
    text.replace(3, 0, source, source + 2);  // at the end: an append
    EXPECT_EQ(text, u"abcxy");
    text.replace(1, 100, source, source + 1);  // the count is cut to what is there
    EXPECT_EQ(text, u"ax");
}

}  // namespace
