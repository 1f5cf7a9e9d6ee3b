#include <gtest/gtest.h>

#include <clocale>

#include "base/conversion.h"
#include "base/wstring.h"

using namespace vxk5;

namespace {

TEST(ReplaceAll, NonOverlappingLeftToRight) {
    WString s(u"aaa");
    EXPECT_EQ(ReplaceAll(s, u"aa", u"b"), 1u);
    EXPECT_EQ(s, u"ba");
    WString t(u"abc");
    EXPECT_EQ(ReplaceAll(t, u"", u"x"), 0u);
    EXPECT_EQ(t, u"abc");
    WString empty;
    EXPECT_EQ(ReplaceAll(empty, u"a", u"b"), 0u);
}

TEST(ReplaceAll, BackslashesInPlaceKeepTheBlock) {
    WString path(u"C:\\Templates\\x\\y.txt");
    const char16_t* block = path.c_str();
    EXPECT_EQ(ReplaceAll(path, u"\\", u"/"), 3u);
    EXPECT_EQ(path, u"C:/Templates/x/y.txt");
    EXPECT_EQ(path.c_str(), block);
}

TEST(ReplaceAll, GrowingAndShrinkingReplacements) {
    WString s(u"a.b.c.d");
    EXPECT_EQ(ReplaceAll(s, u".", u"--dot--"), 3u);
    EXPECT_EQ(s, u"a--dot--b--dot--c--dot--d");
    EXPECT_EQ(ReplaceAll(s, u"--dot--", u""), 3u);
    EXPECT_EQ(s, u"abcd");
    WString shared(u"x/y/z/w/v/u/t");
    WString copy = shared;
    EXPECT_EQ(ReplaceAll(copy, u"/", u"\\\\"), 6u);
    EXPECT_EQ(shared, u"x/y/z/w/v/u/t");
    EXPECT_EQ(ReplaceAll(copy, u"missing", u"q"), 0u);
}

TEST(IntToWString, RadixAndSign) {
    EXPECT_EQ(IntToWString(-5, 10), u"-5");
    EXPECT_EQ(IntToWString(255, 16), u"ff");
    EXPECT_EQ(IntToWString(-1, 16), u"ffffffff");
    EXPECT_EQ(IntToWString(0, 10), u"0");
    EXPECT_EQ(IntToWString(10, 10), u"10");
    EXPECT_EQ(IntToWString(INT32_MIN, 10), u"-2147483648");
}

TEST(CompareNoCase, FoldsAsciiCase) {
    EXPECT_EQ(CompareNoCase(u"ConfigurationTemplatesLocation", u"configurationtemplateslocation"), 0);
    EXPECT_LT(CompareNoCase(u"/a", u"/B"), 0);
    EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
    EXPECT_NE(CompareNoCase(u"/a/t", u"/a/t/"), 0);
}

TEST(ParentPath, DropsTheLastComponentAndTheSlashesBeforeIt) {
    EXPECT_EQ(ParentPath(WString(u"/a/b")), u"/a");
    EXPECT_EQ(ParentPath(WString(u"/a//b")), u"/a");
    EXPECT_EQ(ParentPath(WString(u"/a")), u"/");
    EXPECT_EQ(ParentPath(WString(u"//a")), u"/");
    EXPECT_EQ(ParentPath(WString(u"a/b")), u"a");
    EXPECT_TRUE(ParentPath(WString(u"name")).empty()) << "no directory is named";
    EXPECT_TRUE(ParentPath(WString()).empty());
    // The byte forms behave alike.
    EXPECT_EQ(ParentPath(AString("/x/y.cfg")), "/x");
    EXPECT_EQ(ParentPath(std::string("/y")), "/");
}

}  // namespace
