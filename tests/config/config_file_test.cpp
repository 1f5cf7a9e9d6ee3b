// Reading launcher configuration files and writing them back: the line format,
// decoding across read chunks and lossless handling of undecodable bytes.

#include "base/conversion.h"
#include "config/config_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_keys.h"
#include "tests/config/home_fixture.h"

using namespace vxk5;

namespace {

std::vector<std::string> NarrowAll(const std::vector<WString>& values) {
    std::vector<std::string> out;
    for (const WString& value : values) out.push_back(ToMultiByteString(value));
    return out;
}

class ConfigFileTest : public HomeFixture {
protected:
    std::string FilePath() const { return Home("vxlstart.cfg"); }

    MultiValueMap Read(const std::string& content) {
        WriteFile(FilePath(), content);
        MultiValueMap config;
        ReadLauncherConfig(FromMultiByte(FilePath()), config);
        return config;
    }

    std::string Rewrite(const std::string& content) {
        const MultiValueMap config = Read(content);
        WriteLauncherConfig(FromMultiByte(FilePath()), config);
        return ReadFile(FilePath());
    }

    std::vector<std::string> Values(const MultiValueMap& config, const std::string& key) {
        const std::vector<WString>* values = FindValues(config, FromMultiByte(key));
        return values == nullptr ? std::vector<std::string>{} : NarrowAll(*values);
    }
};

TEST_F(ConfigFileTest, KeysCompareWithoutCaseAndKeepFirstSpelling) {
    const std::string content =
        "ConfigurationTemplatesLocation=/a\nconfigurationtemplateslocation=/b\n";
    const MultiValueMap config = Read(content);
    ASSERT_EQ(config.entries.size(), 1u);
    EXPECT_EQ(ToMultiByteString(config.entries[0].key), "ConfigurationTemplatesLocation");
    EXPECT_EQ(NarrowAll(config.entries[0].values), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(Rewrite(content), "ConfigurationTemplatesLocation=/a\nConfigurationTemplatesLocation=/b\n");
}

TEST_F(ConfigFileTest, ValuesEqualWithoutCaseKeepTheFirst) {
    const MultiValueMap config = Read("Key=/A\nKey=/a\nKEY=/A\n");
    EXPECT_EQ(Values(config, "key"), (std::vector<std::string>{"/A"}));
}

TEST_F(ConfigFileTest, LineSplitsAtFirstEqualsAndNothingIsTrimmed) {
    const MultiValueMap config = Read("a=b=c\n k = v \nbare\n=only value\n=\n;comment=x\n#hash\n");
    ASSERT_EQ(config.entries.size(), 6u);
    EXPECT_EQ(Values(config, "a"), (std::vector<std::string>{"b=c"}));
    EXPECT_EQ(Values(config, " k "), (std::vector<std::string>{" v "}));
    EXPECT_TRUE(Values(config, "k").empty());
    EXPECT_EQ(Values(config, "bare"), (std::vector<std::string>{""}));
    EXPECT_EQ(Values(config, ""), (std::vector<std::string>{"only value"}));
    EXPECT_EQ(Values(config, ";comment"), (std::vector<std::string>{"x"}));
    EXPECT_EQ(Values(config, "#hash"), (std::vector<std::string>{""}));
}

TEST_F(ConfigFileTest, CarriageReturnsStayInKeysAndValues) {
    const std::string content = "k=v\r\nbare\r\nlast=x\r";
    const MultiValueMap config = Read(content);
    EXPECT_EQ(Values(config, "k"), (std::vector<std::string>{"v\r"}));
    EXPECT_EQ(Values(config, "bare\r"), (std::vector<std::string>{""}));
    EXPECT_EQ(Values(config, "last"), (std::vector<std::string>{"x\r"}));
    EXPECT_EQ(Rewrite(content), "k=v\r\nbare\r=\nlast=x\r\n");
}

TEST_F(ConfigFileTest, RewriteDropsEmptyLinesAndGroupsKeys) {
    EXPECT_EQ(Rewrite("a=1\n\nb=2\n=\n\nA=3\nb=2\nc=4"), "a=1\na=3\nb=2\nc=4\n");
}

TEST_F(ConfigFileTest, LongLinesAreReadWhole) {
    const std::string longKey(5000, 'k');
    MultiValueMap config = Read(longKey);
    ASSERT_EQ(config.entries.size(), 1u);
    EXPECT_EQ(ToMultiByteString(config.entries[0].key), longKey);
    EXPECT_EQ(NarrowAll(config.entries[0].values), (std::vector<std::string>{""}));

    const std::string longValue(4097, 'v');
    config = Read("key=" + longValue + "\nnext=1\n");
    EXPECT_EQ(Values(config, "key"), (std::vector<std::string>{longValue}));
    EXPECT_EQ(Values(config, "next"), (std::vector<std::string>{"1"}));
}

TEST_F(ConfigFileTest, CharactersAcrossChunkBoundariesDecode) {
    // U+1F0C1's low surrogate lies among the units that stand for undecodable
    // bytes; it must not be taken for one when it ends a chunk.
    const std::string characters[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF0\x9F\x83\x81"};
    for (const std::string& character : characters) {
        for (size_t boundary : {1024u, 2048u}) {
            for (size_t before = 1; before <= character.size(); ++before) {
                // The character starts `before` bytes ahead of the boundary.
                const std::string filler(boundary - before - 2, 'x');
                const std::string value = filler + character + "y";
                const MultiValueMap config = Read("k=" + value + "\n");
                SCOPED_TRACE(testing::Message() << "boundary " << boundary << ", " << before << " bytes before");
                EXPECT_EQ(Values(config, "k"), (std::vector<std::string>{value}));
                const std::vector<WString>* values = FindValues(config, u"k");
                ASSERT_NE(values, nullptr);
                EXPECT_EQ((*values)[0].length(), filler.size() + (character.size() == 4 ? 2 : 1) + 1);
            }
        }
    }
}

TEST_F(ConfigFileTest, UndecodableBytesSurviveReadAndRewrite) {
    // Invalid bytes in keys and values, one right before the first chunk
    // boundary, and a character cut short by the end of the file.
    const std::string head = "ConfigurationTemplatesLocation=/old\n";
    const std::string other = "Other\xFF=v\xFE\xC0\x80\n";
    // "Pad=" and the filler end two bytes before the boundary: \xE2\x82 straddles it.
    const std::string filler(1022 - head.size() - other.size() - 4, 'f');
    const std::string others = other + "Pad=" + filler + "\xFF\xE2\x82\n" "Tail=\xE2\x82";
    const std::string content = head + others;
    MultiValueMap config = Read(content);
    ASSERT_EQ(config.entries.size(), 4u);
    SetValues(config, kConfigurationTemplatesLocation, {u"/new"});
    WriteLauncherConfig(FromMultiByte(FilePath()), config);
    EXPECT_EQ(ReadFile(FilePath()), "ConfigurationTemplatesLocation=/new\n" + others + "\n");
}

TEST_F(ConfigFileTest, ZeroByteEndsTheFile) {
    const std::string filler(1500, 'z');
    MultiValueMap config = Read(std::string("a=1\nb=2\0c=3\nd=4\n", 16));
    EXPECT_EQ(Values(config, "b"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(config.entries.size(), 2u);

    // Chunks after the one holding the zero byte are not read either.
    config = Read(std::string("a=1\nb=2\0c=", 10) + filler + "\nd=4\n");
    EXPECT_EQ(config.entries.size(), 2u);
    EXPECT_EQ(Values(config, "b"), (std::vector<std::string>{"2"}));

    config = Read("a=" + filler + "\nb=2" + std::string(1, '\0') + "\nc=3\n");
    EXPECT_EQ(config.entries.size(), 2u);
    EXPECT_EQ(Values(config, "b"), (std::vector<std::string>{"2"}));
}

TEST_F(ConfigFileTest, ReadingAddsToExistingEntries) {
    MultiValueMap config;
    AddValue(config, u"K", u"/first");
    WriteFile(FilePath(), "k=/FIRST\nk=/second\nother=1\n");
    ReadLauncherConfig(FromMultiByte(FilePath()), config);
    ASSERT_EQ(config.entries.size(), 2u);
    EXPECT_EQ(ToMultiByteString(config.entries[0].key), "K");
    EXPECT_EQ(Values(config, "k"), (std::vector<std::string>{"/first", "/second"}));
}

TEST_F(ConfigFileTest, MissingFileAddsNothing) {
    MultiValueMap config;
    ReadLauncherConfig(FromMultiByte(Home("absent.cfg")), config);
    ReadLauncherConfig(FromMultiByte(home_), config);  // a directory reads as nothing
    EXPECT_TRUE(config.entries.empty());
}

}  // namespace
