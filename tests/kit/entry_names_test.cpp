// The one name check the installer and the kit tool share: a table of hostile
// names, each with the reason it is refused, and the kit-wide check of a file
// that another entry needs as its directory.

#include "base/conversion.h"
#include "kit/entry_names.h"

#include <climits>
#include <string>

#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

KitFileEntry Named(const WString& name) {
    KitFileEntry entry;
    entry.name = name;
    return entry;
}

WString Repeat(char16_t unit, size_t count) {
    WString text;
    for (size_t i = 0; i < count; ++i) text.push_back(unit);
    return text;
}

WString Units(std::initializer_list<char16_t> units) { return WString(units.begin(), units.size()); }

struct HostileName {
    WString name;
    EntryNameCheck check;
};

// Shared with the kit tool's test through the same shapes of name.
std::vector<HostileName> HostileNames() {
    return {
        {u"", ENTRY_NAME_EMPTY},
        {Units({u'a', 0, u'.', u'.', u'/', u'x'}), ENTRY_NAME_ZERO_UNIT},
        {Units({u'u', u's', u'e', u'r', u'.', u't', u'x', u't', 0xD800, u'.', u'n', u'e', u'w'}),
         ENTRY_NAME_UNPAIRED_SURROGATE},
        {Units({u'x', 0xDC00, u'y', u'.', u't', u'x', u't'}), ENTRY_NAME_UNPAIRED_SURROGATE},
        {Units({u'x', 0xDC80}), ENTRY_NAME_UNPAIRED_SURROGATE},  // an escaped byte is no text
        {Units({u'a', 0xDBFF}), ENTRY_NAME_UNPAIRED_SURROGATE},  // a high half at the very end
        {u"/etc/passwd", ENTRY_NAME_ABSOLUTE},
        {u"\\abs", ENTRY_NAME_ABSOLUTE},
        {u"C:x", ENTRY_NAME_ABSOLUTE},
        {u"c:\\x", ENTRY_NAME_ABSOLUTE},
        {u"..", ENTRY_NAME_DOT_DOT},
        {u"..\\a", ENTRY_NAME_DOT_DOT},
        {u"a/../../b", ENTRY_NAME_DOT_DOT},
        {u"a\\..", ENTRY_NAME_DOT_DOT},
        {u"a\\", ENTRY_NAME_NOT_A_FILE_NAME},
        {u"a/", ENTRY_NAME_NOT_A_FILE_NAME},
        {u".", ENTRY_NAME_NOT_A_FILE_NAME},
        {u"a\\.", ENTRY_NAME_NOT_A_FILE_NAME},
        {u"sub\\\\x", ENTRY_NAME_HOLLOW_COMPONENT},
        {u"sub//x", ENTRY_NAME_HOLLOW_COMPONENT},
        {u"sub\\/x", ENTRY_NAME_HOLLOW_COMPONENT},
        {u"sub\\.\\x", ENTRY_NAME_HOLLOW_COMPONENT},
        {u".\\x", ENTRY_NAME_HOLLOW_COMPONENT},
        {u"a/./b/c.txt", ENTRY_NAME_HOLLOW_COMPONENT},
        {Repeat(u'n', NAME_MAX + 1), ENTRY_NAME_COMPONENT_TOO_LONG},
        {u"d\\" + Repeat(u'\u00e9', NAME_MAX / 2 + 1), ENTRY_NAME_COMPONENT_TOO_LONG},  // bytes, not units
    };
}

TEST(EntryNameTest, HostileNamesAreRefusedWithTheirReason) {
    for (const HostileName& hostile : HostileNames()) {
        EXPECT_EQ(CheckEntryName(hostile.name), hostile.check) << ToMultiByteString(hostile.name);
        AString path("unchanged");
        EXPECT_FALSE(EntryNamePath(hostile.name, path));
        EXPECT_EQ(std::string(path.c_str()), "unchanged");
    }
}

TEST(EntryNameTest, NamesInsideTheDirectoryPass) {
    for (const char16_t* name : {u"a.txt", u"sub\\dir\\a.txt", u"sub/dir/a.txt", u"..a", u"a..", u"a\\..b\\c",
                                 u".hidden", u"a\\.b\\c", u"ab:c", u"1:x", u"a b\\c'd\"e$f`g", u"\U0001F600.txt"}) {
        EXPECT_EQ(CheckEntryName(name), ENTRY_NAME_OK) << ToMultiByteString(name);
    }
    EXPECT_EQ(CheckEntryName(Repeat(u'n', NAME_MAX)), ENTRY_NAME_OK);
}

TEST(EntryNameTest, PathLimitCountsTheDirectory) {
    // 16 components of 255 bytes and 15 separators: 4095 bytes, one below PATH_MAX.
    WString name;
    for (int i = 0; i < 16; ++i) name += (i == 0 ? WString() : WString(u"\\")) + Repeat(u'p', 255);
    ASSERT_EQ(PATH_MAX, 4096);
    EXPECT_EQ(CheckEntryName(name), ENTRY_NAME_OK);
    EXPECT_EQ(CheckEntryName(name, 1), ENTRY_NAME_PATH_TOO_LONG);
    EXPECT_EQ(CheckEntryName(name + u"\\x"), ENTRY_NAME_PATH_TOO_LONG);
    EXPECT_EQ(CheckEntryName(u"a", PATH_MAX), ENTRY_NAME_PATH_TOO_LONG);
}

TEST(EntryNameTest, PathHasSlashesBetweenTheComponents) {
    AString path;
    ASSERT_TRUE(EntryNamePath(u"a\\b/c.txt", path));
    EXPECT_EQ(std::string(path.c_str()), "a/b/c.txt");
}

TEST(EntryNameTest, FileThatIsAlsoADirectoryIsRefusedInEitherOrder) {
    size_t index = 99;
    EXPECT_EQ(CheckEntryNames({Named(u"q\\b"), Named(u"q")}, index), ENTRY_NAME_FILE_AND_DIRECTORY);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(CheckEntryNames({Named(u"q"), Named(u"x"), Named(u"q/b\\c")}, index), ENTRY_NAME_FILE_AND_DIRECTORY);
    EXPECT_EQ(index, 0u);
    const std::vector<EntryNameProblem> problems = FindEntryNameProblems({Named(u"q"), Named(u"q\\b\\c"),
                                                                          Named(u"q\\b")});
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].index, 0u);
    EXPECT_EQ(problems[0].other, 1u);
    EXPECT_EQ(problems[1].index, 2u);

    // Case is the file system's: "Q" is another name than "q".
    EXPECT_EQ(CheckEntryNames({Named(u"Q"), Named(u"q\\b"), Named(u"a"), Named(u"a")}, index), ENTRY_NAME_OK);
}

TEST(EntryNameTest, KitCheckReportsTheEarliestEntry) {
    size_t index = 0;
    EXPECT_EQ(CheckEntryNames({Named(u"ok"), Named(u"..\\x"), Named(u"/abs")}, index), ENTRY_NAME_DOT_DOT);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(CheckEntryNames({}, index), ENTRY_NAME_OK);
    EXPECT_EQ(ENTRY_NAME_REFUSAL_CODE, 13u);
    for (uint32_t check = ENTRY_NAME_OK; check <= ENTRY_NAME_HOLLOW_COMPONENT; ++check) {
        EXPECT_NE(std::string(DescribeEntryNameCheck(static_cast<EntryNameCheck>(check))), "an unusable name");
    }
}

}  // namespace
