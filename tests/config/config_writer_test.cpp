// Writing launcher configuration files: the whole file or nothing, the failure
// codes, permission bits and symbolic links.

#include "base/conversion.h"
#include "config/config_file.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/config/home_fixture.h"

using namespace vxk5;

namespace {

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

mode_t PermissionBits(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

MultiValueMap SampleConfig() {
    MultiValueMap config;
    AddValue(config, u"ConfigurationTemplatesLocation", u"/x/t");
    AddValue(config, u"ConfigurationTemplatesLocation", u"/y/t");
    AddValue(config, u"Other", u"1");
    return config;
}

const char kSampleText[] = "ConfigurationTemplatesLocation=/x/t\nConfigurationTemplatesLocation=/y/t\nOther=1\n";

class ConfigWriterTest : public HomeFixture {
protected:
    std::string Dir() const { return Home("cfg"); }
    std::string FilePath() const { return Home("cfg/vxlstart.cfg"); }
    void SetUp() override {
        HomeFixture::SetUp();
        MakeDirectories(Dir());
    }
};

TEST_F(ConfigWriterTest, WritesOneLinePerValueAndLeavesNoTemporaryFile) {
    WriteFile(FilePath(), "old content that is longer than the new one ........................\n");
    MultiValueMap config = SampleConfig();
    config.entries.push_back(MultiValueEntry{u"NoValues", {}});
    WriteLauncherConfig(FromMultiByte(FilePath()), config);
    EXPECT_EQ(ReadFile(FilePath()), kSampleText);
    EXPECT_EQ(ListDirectory(Dir()), (std::vector<std::string>{"vxlstart.cfg"}));
}

TEST_F(ConfigWriterTest, EmptyConfigLeavesAnEmptyFile) {
    WriteFile(FilePath(), "a=1\n");
    WriteLauncherConfig(FromMultiByte(FilePath()), MultiValueMap{});
    EXPECT_TRUE(PathExists(FilePath()));
    EXPECT_EQ(ReadFile(FilePath()), "");
}

TEST_F(ConfigWriterTest, FileThatCannotBeCreatedRaisesOne) {
    const std::string missing = Home("missing/vxlstart.cfg");
    try {
        WriteLauncherConfig(FromMultiByte(missing), SampleConfig());
        FAIL() << "no error raised";
    } catch (const ConfigWriteError& error) {
        EXPECT_EQ(error.code, CONFIG_WRITE_NOT_CREATED);
    }
    EXPECT_FALSE(PathExists(Home("missing")));

    // A directory in the file's place is not replaced.
    MakeDirectories(FilePath());
    try {
        WriteLauncherConfig(FromMultiByte(FilePath()), SampleConfig());
        FAIL() << "no error raised";
    } catch (const ConfigWriteError& error) {
        EXPECT_EQ(error.code, CONFIG_WRITE_NOT_CREATED);
    }
    EXPECT_TRUE(IsDirectory(FilePath()));
    EXPECT_EQ(ListDirectory(Dir()), (std::vector<std::string>{"vxlstart.cfg"}));
}

// The child writes more than its file-size limit allows; the write fails part
// way and the old file must come through byte for byte.
TEST_F(ConfigWriterTest, WriteFailingPartWayLeavesOldFileUnchanged) {
    const std::string old = "ConfigurationTemplatesLocation=/old\nOther=\xFF kept\n";
    WriteFile(FilePath(), old);
    MultiValueEntry entry{u"ConfigurationTemplatesLocation", {}};
    for (int i = 0; i < 2000; ++i) entry.values.push_back(FromMultiByte("/a/rather/long/template/directory/" + std::to_string(i)));
    const MultiValueMap config{{entry}};  // about 136 KB of lines

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit {4096, 4096};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
        try {
            WriteLauncherConfig(FromMultiByte(FilePath()), config);
        } catch (const ConfigWriteError& error) {
            _exit(static_cast<int>(error.code));
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(CONFIG_WRITE_FAILED));
    EXPECT_EQ(ReadFile(FilePath()), old);
    EXPECT_EQ(ListDirectory(Dir()), (std::vector<std::string>{"vxlstart.cfg"}));
}

TEST_F(ConfigWriterTest, ReplacedFileKeepsItsPermissionBits) {
    WriteFile(FilePath(), "a=1\n");
    ASSERT_EQ(chmod(FilePath().c_str(), 0604), 0);
    WriteLauncherConfig(FromMultiByte(FilePath()), SampleConfig());
    EXPECT_EQ(PermissionBits(FilePath()), 0604u);

    // A new file gets 0666 less the umask, as fopen gives.
    const mode_t saved = umask(027);
    WriteLauncherConfig(FromMultiByte(Home("cfg/new.cfg")), SampleConfig());
    umask(saved);
    EXPECT_EQ(PermissionBits(Home("cfg/new.cfg")), 0640u);
}

TEST_F(ConfigWriterTest, SymbolicLinkStaysAndItsTargetIsReplaced) {
    MakeDirectories(Home("real"));
    WriteFile(Home("real/launcher.cfg"), "a=1\n");
    ASSERT_EQ(symlink("../real/launcher.cfg", FilePath().c_str()), 0);  // relative link
    ASSERT_EQ(symlink(FilePath().c_str(), Home("cfg/chain.cfg").c_str()), 0);  // link to a link

    WriteLauncherConfig(FromMultiByte(Home("cfg/chain.cfg")), SampleConfig());
    struct stat info {};
    ASSERT_EQ(lstat(FilePath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(lstat(Home("cfg/chain.cfg").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(Home("real/launcher.cfg")), kSampleText);
    EXPECT_EQ(ListDirectory(Home("real")), (std::vector<std::string>{"launcher.cfg"}));
}

}  // namespace

// A first key whose bytes begin like a UTF-16 byte order mark is written after
// a blank line: otherwise the file written would read back as no
// configuration at all.
TEST_F(ConfigWriterTest, FirstKeyThatLooksLikeAByteOrderMarkReadsBackWhole) {
    const std::string source = Home("cfg/source.cfg");
    WriteFile(source, std::string("\n\xFE\xFFr", 4));
    MultiValueMap config;
    ASSERT_EQ(ReadLauncherConfig(FromMultiByte(source), config), ConfigRead::Whole);
    ASSERT_FALSE(config.entries.empty());
    WriteLauncherConfig(FromMultiByte(FilePath()), config);
    MultiValueMap again;
    EXPECT_EQ(ReadLauncherConfig(FromMultiByte(FilePath()), again), ConfigRead::Whole);
    ASSERT_EQ(again.entries.size(), config.entries.size());
    EXPECT_TRUE(again.entries[0].key == config.entries[0].key);
    EXPECT_EQ(again.entries[0].values, config.entries[0].values);
}
