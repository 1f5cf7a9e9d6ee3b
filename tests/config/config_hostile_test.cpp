// Configuration files that cannot be taken in whole (unreadable, a zero byte,
// UTF-16, a FIFO) are never rewritten; CR LF line ends do not make a recorded
// location new; a value that cannot be written whole leaves the old file.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/conversion.h"
#include "config/config_file.h"
#include "config/config_keys.h"
#include "config/template_locations.h"
#include "tests/config/home_fixture.h"

using namespace vxk5;

namespace {

// Ends the test program (SIGALRM) should a test block.
class BlockingGuard {
public:
    explicit BlockingGuard(unsigned seconds) { alarm(seconds); }
    ~BlockingGuard() { alarm(0); }
    BlockingGuard(const BlockingGuard&) = delete;
    BlockingGuard& operator=(const BlockingGuard&) = delete;
};

std::string Utf16(const std::string& ascii, bool bigEndian, bool mark) {
    std::string out;
    if (mark) out += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        if (bigEndian) out += '\0';
        out += c;
        if (!bigEndian) out += '\0';
    }
    return out;
}

class ConfigHostileTest : public HomeFixture {
protected:
    void SetUp() override {
        HomeFixture::SetUp();
        MakeDirectories(Home(".Vx/vxlstart"));
    }
    std::string MainFile() const { return Home(".Vx/vxlstart/vxlstart.cfg"); }

    void Record(const std::vector<std::string>& locations) {
        std::vector<WString> list;
        for (const std::string& location : locations) list.push_back(FromMultiByte(location));
        RecordTemplateLocations(list, ConfigurationSet::Main);
    }
};

const char kOtherKeys[] =
    "DefaultVersion=8.3\nCommonInfoBases=/srv/bases\nInstalledLocation=/opt/launcher\n"
    "ConfigurationTemplatesLocation=/old/t\n";

TEST_F(ConfigHostileTest, FilesThatDoNotDecodeAreLeftByteIdentical) {
    const struct {
        const char* what;
        std::string content;
    } cases[] = {
        {"a zero byte", std::string(kOtherKeys) + std::string("Broken=\0tail\nLast=1\n", 20)},
        {"a zero byte first", std::string("\0", 1) + kOtherKeys},
        {"UTF-16LE with a byte order mark", Utf16(kOtherKeys, false, true)},
        {"UTF-16BE with a byte order mark", Utf16(kOtherKeys, true, true)},
        {"UTF-16LE without one", Utf16(kOtherKeys, false, false)},
    };
    for (const auto& c : cases) {
        WriteFile(MainFile(), c.content);
        MultiValueMap config;
        EXPECT_EQ(ReadLauncherConfig(FromMultiByte(MainFile()), config), ConfigRead::Partial) << c.what;
        Record({"/new/t"});
        EXPECT_EQ(ReadFile(MainFile()), c.content) << c.what;
    }
    // What precedes a zero byte still counts for the locations offered.
    WriteFile(MainFile(), std::string("ConfigurationTemplatesLocation=/a/t\n\0x", 38));
    std::vector<WString> list;
    CollectTemplateLocations(list, ConfigurationSet::Main);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(ToMultiByteString(list[0]), "/a/t");
}

TEST_F(ConfigHostileTest, Latin1BytesAreStillRewrittenAsTheyWere) {
    const std::string content = "Owner=J\xFCrgen M\xFCller\nConfigurationTemplatesLocation=/caf\xE9/t\n";
    WriteFile(MainFile(), content);
    MultiValueMap config;
    EXPECT_EQ(ReadLauncherConfig(FromMultiByte(MainFile()), config), ConfigRead::Whole);
    Record({"/new/t", "/caf\xE9/t"});
    EXPECT_EQ(ReadFile(MainFile()),
              "Owner=J\xFCrgen M\xFCller\nConfigurationTemplatesLocation=/new/t\n"
              "ConfigurationTemplatesLocation=/caf\xE9/t\n");
}

TEST_F(ConfigHostileTest, UnreadableFileIsLeftAlone) {
    const std::string content = std::string(kOtherKeys) + "Secret=1\n";
    WriteFile(MainFile(), content);
    ASSERT_EQ(chmod(MainFile().c_str(), 0), 0);
    // The directory stays writable: a rewrite by rename would succeed.
    ASSERT_EQ(chmod(Home(".Vx/vxlstart").c_str(), 0777), 0);
    ASSERT_EQ(chmod(home_.c_str(), 0777), 0);
    ASSERT_EQ(chmod(Home(".Vx").c_str(), 0777), 0);
    ASSERT_EQ(chmod(tmp_.path().c_str(), 0777), 0);
    // The superuser reads every file: the reading and recording then run as
    // an ordinary user in a child process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        MultiValueMap config;
        if (ReadLauncherConfig(FromMultiByte(MainFile()), config) != ConfigRead::Partial) _exit(1);
        try {
            Record({"/new/t"});
        } catch (...) {
            _exit(2);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(chmod(MainFile().c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(MainFile()), content);
}

TEST_F(ConfigHostileTest, CrLfLocationIsNotRecordedAgain) {
    const std::string content =
        "DefaultVersion=8.3\r\nConfigurationTemplatesLocation=/a/t\r\nConfigurationTemplatesLocation=/b/t\r\n"
        "CommonInfoBases=/srv/bases\r\n";
    WriteFile(MainFile(), content);
    for (int install = 0; install < 3; ++install) {
        // As the controller records: the installed directory, then what it collected.
        std::vector<WString> list;
        CollectTemplateLocations(list, ConfigurationSet::Main);
        list.insert(list.begin(), FromMultiByte(AString("/a/t")));
        RecordTemplateLocations(list, ConfigurationSet::Main);
        EXPECT_EQ(ReadFile(MainFile()),
                  "DefaultVersion=8.3\r\nConfigurationTemplatesLocation=/a/t\n"
                  "ConfigurationTemplatesLocation=/b/t\r\nCommonInfoBases=/srv/bases\r\n")
            << "install " << install;
    }
    std::vector<WString> list{FromMultiByte(AString("/x/t\r")), FromMultiByte(AString("/X/T/")), FromMultiByte(AString("/x/t\r\n")), FromMultiByte(AString("/y"))};
    RemoveDuplicateLocations(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(ToMultiByteString(list[0]), "/x/t\r");
}

TEST_F(ConfigHostileTest, FifoAsTheConfigurationCountsAsUnreadable) {
    const BlockingGuard guard(20);
    ASSERT_EQ(mkfifo(MainFile().c_str(), 0600), 0);
    MultiValueMap config;
    EXPECT_EQ(ReadLauncherConfig(FromMultiByte(MainFile()), config), ConfigRead::NotAFile);
    EXPECT_TRUE(config.entries.empty());
    std::vector<WString> list;
    CollectTemplateLocations(list, ConfigurationSet::Main);
    EXPECT_TRUE(list.empty());
    EXPECT_THROW(Record({"/new/t"}), ConfigWriteError);  // a FIFO is not replaced
    struct stat status;
    ASSERT_EQ(lstat(MainFile().c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(ConfigHostileTest, ValueThatCannotBeWrittenWholeKeepsTheOldFile) {
    WriteFile(MainFile(), kOtherKeys);
    WString cut = FromMultiByte(AString("/half"));
    cut += static_cast<char16_t>(0xD800);  // no bytes encode a lone surrogate
    cut += FromMultiByte(AString("/rest"));
    EXPECT_THROW(RecordTemplateLocations({cut}, ConfigurationSet::Main), ConfigWriteError);
    EXPECT_EQ(ReadFile(MainFile()), kOtherKeys);
}

}  // namespace
