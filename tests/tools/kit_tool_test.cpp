// vxk5-kit, run as a program: create, then list and verify, and the
// installer's reader on what it writes.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/kit_tool_run.h"
#include "tools/kit_inspect.h"
#include "tools/source_tree.h"

using namespace vxk5;

extern char** environ;

namespace {

class KitToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        src_ = tmp_.path("src");
        MakeDirectories(src_ + "/desktop/launchers");
        MakeDirectories(src_ + "/docs");
        MakeDirectories(src_ + "/empty/inner");  // directories are not entries
        WriteFile(src_ + "/desktop/launchers/editor.desktop", "[Desktop Entry]\nName=Editor\n");
        WriteFile(src_ + "/docs/README.en.txt", "Read me.\n");
        WriteFile(src_ + "/docs/README.de.txt", "Lies mich.\n");
        WriteFile(src_ + "/zero.txt", "");
        WriteFile(src_ + "/b.conf", std::string(100000, 'b'));
        SetModified(src_ + "/desktop/launchers/editor.desktop", 1614834367, 123456789);
    }

    std::vector<std::string> CreateArguments() const {
        return {"create", src_, "-o", kit_,
                "--lang", "en", "--product", "Templates", "--vendor", "Company", "--description", "docs/README.en.txt",
                "--lang", "de", "--product", "Vorlagen", "--vendor", "Firma", "--description", "docs/README.de.txt"};
    }

    TempDir tmp_;
    // Unpacked containers of list and verify go into the test's directory.
    ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
    std::string src_;
    std::string kit_ = tmp_.path("out.efd");
};

TEST_F(KitToolTest, CreateThenReadWithTheInstallersReader) {
    const RunResult run = RunTool(tmp_, CreateArguments());
    ASSERT_EQ(run.status, 0) << run.err;

    std::unique_ptr<DistributionKit> kit;
    ASSERT_EQ(ReadKit(kit, FromMultiByte(kit_)), 0u);
    ASSERT_EQ(kit->Descriptions().size(), 2u);
    EXPECT_EQ(kit->Descriptions()[0].language, u"en");
    EXPECT_EQ(kit->Descriptions()[0].product, u"Templates");
    EXPECT_EQ(kit->Descriptions()[0].vendor, u"Company");
    EXPECT_EQ(kit->Descriptions()[0].descriptionPath, u"docs\\README.en.txt");
    EXPECT_EQ(kit->Descriptions()[1].language, u"de");
    EXPECT_EQ(kit->Descriptions()[1].product, u"Vorlagen");

    // Sorted names with "\" separators; directories are not listed.
    ASSERT_EQ(kit->Entries().size(), 5u);
    EXPECT_EQ(kit->Entries()[0].name, u"b.conf");
    EXPECT_EQ(kit->Entries()[1].name, u"desktop\\launchers\\editor.desktop");
    EXPECT_EQ(kit->Entries()[2].name, u"docs\\README.de.txt");
    EXPECT_EQ(kit->Entries()[3].name, u"docs\\README.en.txt");
    EXPECT_EQ(kit->Entries()[4].name, u"zero.txt");
    EXPECT_EQ(kit->Entries()[4].size, 0u);

    // The time keeps its 100-nanosecond part.
    const FileTime time{kit->Entries()[1].timeLow, kit->Entries()[1].timeHigh};
    EXPECT_EQ(time.Ticks(), (1614834367ull + 11644473600ull) * 10000000ull + 1234567ull);

    for (const KitFileEntry& entry : kit->Entries()) {
        std::string path = std::string(src_) + "/";
        const AString name = ToMultiByte(entry.name);
        for (const char* c = name.c_str(); *c != 0; ++c) path += *c == '\\' ? '/' : *c;
        std::string bytes(entry.size, '\0');
        uint32_t count = 0;
        ASSERT_EQ(SeekFileHandle(kit->Container(), entry.offset, FILE_FROM_START), entry.offset);
        ASSERT_EQ(ReadFileHandle(kit->Container(), bytes.data(), entry.size, &count, nullptr), 0u);
        EXPECT_EQ(count, entry.size);
        EXPECT_EQ(bytes, ReadFile(path)) << path;
    }
}

TEST_F(KitToolTest, ListAndVerifyRoundTrip) {
    ASSERT_EQ(RunTool(tmp_, CreateArguments()).status, 0);
    const RunResult list = RunTool(tmp_, {"list", kit_});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("Descriptions: 2"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("de\tVorlagen\tFirma\tdocs\\README.de.txt"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Files: 5"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("desktop\\launchers\\editor.desktop\t2021-03-04T05:06:07.1234567Z\t28\t"),
              std::string::npos)
        << list.out;

    const RunResult verify = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_NE(verify.out.find("OK"), std::string::npos);
    // list and verify leave no unpacked container behind.
    EXPECT_TRUE(std::system(("test -z \"$(ls " + tmp_.path() + " | grep '^edf')\"").c_str()) == 0);
}

TEST_F(KitToolTest, SingleFormIsReadAsEnglish) {
    ASSERT_EQ(RunTool(tmp_, {"create", src_, "-o", kit_, "--single", "--product", "Solo", "--vendor", "V",
                             "--description", "docs/README.en.txt"})
                  .status,
              0);
    std::unique_ptr<DistributionKit> kit;
    ASSERT_EQ(ReadKit(kit, FromMultiByte(kit_)), 0u);
    ASSERT_EQ(kit->Descriptions().size(), 1u);
    EXPECT_EQ(kit->Descriptions()[0].language, u"en");
    EXPECT_EQ(kit->Descriptions()[0].product, u"Solo");
    EXPECT_EQ(kit->Descriptions()[0].descriptionPath, u"docs\\README.en.txt");
}

TEST_F(KitToolTest, SameTreeGivesTheSameKit) {
    ASSERT_EQ(RunTool(tmp_, CreateArguments()).status, 0);
    const std::string first = ReadFile(kit_);
    ASSERT_EQ(RunTool(tmp_, CreateArguments()).status, 0);
    EXPECT_EQ(ReadFile(kit_), first);
    EXPECT_FALSE(first.empty());
}

TEST_F(KitToolTest, FailuresExitNonZeroWithAMessage) {
    RunResult run = RunTool(tmp_, {"create", tmp_.path("missing"), "-o", kit_});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("cannot open " + tmp_.path("missing") + ": No such file or directory"), std::string::npos)
        << run.err;
    EXPECT_FALSE(PathExists(kit_));

    run = RunTool(tmp_, {"create", src_, "-o", kit_, "--lang", "en", "--description", "docs/missing.txt"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("docs/missing.txt"), std::string::npos) << run.err;

    run = RunTool(tmp_, {"create", src_, "-o", kit_, "--single", "--lang", "en", "--lang", "de"});
    EXPECT_EQ(run.status, 2);
    run = RunTool(tmp_, {"create", src_});
    EXPECT_EQ(run.status, 2);
    run = RunTool(tmp_, {"frobnicate"});
    EXPECT_EQ(run.status, 2);
    run = RunTool(tmp_, {"create", src_, "-o", tmp_.path("no/such/dir/kit.efd")});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("cannot create"), std::string::npos) << run.err;

    WriteFile(tmp_.path("damaged.efd"), "\x07 not a kit");
    run = RunTool(tmp_, {"list", tmp_.path("damaged.efd")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("not a kit, or a damaged one"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("code"), std::string::npos) << run.err;
    run = RunTool(tmp_, {"verify", tmp_.path("missing.efd")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open " + tmp_.path("missing.efd") + ": No such file or directory"),
              std::string::npos)
        << run.err;
}

TEST_F(KitToolTest, HelpDescribesTheCommands) {
    const RunResult run = RunTool(tmp_, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("vxk5-kit create SOURCE_DIR -o KIT"), std::string::npos);
    EXPECT_NE(run.out.find("vxk5-kit verify [--strict] [--key PUBLIC_KEY] [--json] KIT"), std::string::npos);
    EXPECT_NE(run.out.find("vxk5-kit list [--json | --names] KIT"), std::string::npos);
    EXPECT_NE(run.out.find("vxk5-kit extract [--force] [-v] KIT DIR"), std::string::npos);
    EXPECT_NE(run.out.find("vxk5-kit keygen [-W] [-f] -p PUBLIC_KEY -s SECRET_KEY"), std::string::npos);
    EXPECT_NE(run.out.find("vxk5-kit sign -s SECRET_KEY [-t COMMENT] KIT"), std::string::npos);
}

TEST_F(KitToolTest, VerifyFindsEntriesOutsideTheContainer) {
    std::string container = kitformat::EncodeContainerHead(
        kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
        {{u"inside.txt", 0, 0, 0, 4}, {u"..\\escape.txt", 0, 0, 0, 1}});
    container += "data";
    ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), container), 0u);
    RunResult run = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.find("inside.txt"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("escape.txt: not a usable relative path"), std::string::npos) << run.err;

    // Bytes past the container's end, and a stored offset that wraps past
    // 4 GiB into the file table once the data area's start is added: the kit
    // is damaged, and never "OK".
    for (const uint32_t offset : {2u, 0xFFFFFFF0u}) {
        container = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
                                                   {{u"inside.txt", 0, 0, 0, 4}, {u"outside.txt", 0, 0, offset, 10}});
        container += "data";
        ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), container), 0u);
        run = RunTool(tmp_, {"verify", kit_});
        EXPECT_EQ(run.status, 1) << offset;
        EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("OK"), std::string::npos) << run.out;
    }
}

// The container's places are 32-bit counts: a tree whose file table and data
// reach 4 GiB is refused before anything is written (a sparse file stands in
// for the data, so nothing of it is read).
TEST_F(KitToolTest, CreateRefusesATreeWhoseOffsetsWouldPass4GiB) {
    const std::string big = tmp_.path("big");
    MakeDirectories(big);
    const auto makeSparse = [](const std::string& path, off_t size) {
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    };
    makeSparse(big + "/a-zeros.bin", (off_t{4} << 30) - 64);
    WriteFile(big + "/b-small.bin", "12345678");
    const std::string out = tmp_.path("out/big.efd");
    MakeDirectories(tmp_.path("out"));
    RunResult run = RunTool(tmp_, {"create", big, "-o", out, "--quiet"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("4 GiB"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(tmp_.path("out"))) << "nothing written, no temporary kit left";

    // One file alone at 4 GiB is refused the same way.
    std::filesystem::remove(big + "/b-small.bin");
    makeSparse(big + "/a-zeros.bin", off_t{4} << 30);
    run = RunTool(tmp_, {"create", big, "-o", out, "--quiet"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("4 GiB"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(tmp_.path("out")));
}

// verify refuses every kit whose names the installer refuses, with the
// installer's own check.
TEST_F(KitToolTest, VerifyRefusesHostileNames) {
    WString longName;
    for (int i = 0; i < 256; ++i) longName.push_back(u'n');
    const std::vector<std::vector<WString>> kits = {
        {WString(u"a\0..", 4)},
        {WString(u"user.txt\xD800.new", 13), u"user.txt"},
        {WString(u"x\xDC00y.txt", 7)},
        {longName},
        {u"..\\..\\escape.txt"},
        {u"/etc/passwd"},
        {u"C:\\x"},
        {u"q\\b", u"q"},
        {u"q", u"q/b"},
        {u"sub\\\\x"},
        {u"sub\\.\\x"},
        {u"./x"},
        // The forms of an installation's own names, whatever the number.
        {u".k5stp1.0"},
        {u"a\\.k5stp0-templates\\f.txt"},
        {u"a/.k5stp12/journal"},
    };
    for (const std::vector<WString>& names : kits) {
        std::vector<KitFileEntry> entries;
        for (const WString& name : names) {
            KitFileEntry entry;
            entry.name = name;
            entries.push_back(entry);
        }
        const std::string container = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList,
                                                                      {{u"en", u"P", u"V", u""}}, entries);
        ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), container), 0u);
        const RunResult run = RunTool(tmp_, {"verify", kit_});
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_NE(run.err.find("refused by the installer"), std::string::npos) << run.err;
    }
    // The same shapes of name, usable: verify accepts them.
    KitFileEntry usable;
    usable.name = u"q\\b";
    KitFileEntry other;
    other.name = u"Q";
    ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList,
                                                                     {{u"en", u"P", u"V", u""}}, {usable, other})),
              0u);
    const RunResult run = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(run.status, 0) << run.err;
}

// A name listed twice is installed as the installer installs any entry, each
// copy over an older file: verify warns of it (and --strict fails on it) but
// finds no error.
TEST_F(KitToolTest, VerifyWarnsOfARepeatedName) {
    auto entry = [](const char16_t* name, uint32_t offset) {
        KitFileEntry e;
        e.name = name;
        e.offset = offset;
        e.size = 1;
        return e;
    };
    auto write = [this](const std::vector<KitFileEntry>& entries) {
        const std::string container = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList,
                                                                      {{u"en", u"P", u"V", u""}}, entries) + "abc";
        ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), container), 0u);
    };
    write({entry(u"a\\b.txt", 0), entry(u"c.txt", 1)});
    RunResult run = RunTool(tmp_, {"verify", "--strict", kit_});
    const std::string strictWithout = run.err;

    // "a\\b.txt" and "a/b.txt" are one destination.
    write({entry(u"a\\b.txt", 0), entry(u"c.txt", 1), entry(u"a/b.txt", 2)});
    run = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("OK: "), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("warning: a/b.txt: listed more than once; each copy is installed in turn over an older "
                           "file, so the newest stays\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("c.txt"), std::string::npos) << run.err;

    run = RunTool(tmp_, {"verify", "--strict", kit_});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("listed more than once"), std::string::npos) << run.err;
    // One warning more than the same kit without the repetition gives.
    int without = 0;
    if (const size_t counted = strictWithout.find(" warning"); counted != std::string::npos) {
        const size_t start = strictWithout.rfind(' ', counted - 1) + 1;
        without = std::stoi(strictWithout.substr(start, counted - start));
    }
    const std::string expected = std::to_string(without + 1) + (without == 0 ? " warning," : " warnings,");
    EXPECT_NE(run.err.find(expected + " which --strict counts as errors"), std::string::npos) << run.err;
}

TEST_F(KitToolTest, DemoKitBuildsAndVerifies) {
    const std::string script = std::string(VXK5_SOURCE_DIR) + "/examples/demo-kit/make-kit.sh";
    std::vector<std::string> arguments{"/bin/sh", script, VXK5_KIT_TOOL, kit_};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ), 0);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(RunTool(tmp_, {"verify", kit_}).status, 0);
    std::unique_ptr<DistributionKit> kit;
    ASSERT_EQ(ReadKit(kit, FromMultiByte(kit_)), 0u);
    EXPECT_GE(kit->Entries().size(), 24u);
    EXPECT_EQ(GetDescriptionName(kit.get(), u"de"), u"README.de.txt");
    EXPECT_EQ(GetDescriptionName(kit.get(), u"fr"), u"README.en.txt");
}

TEST(KitToolFormatTest, TimesPrintInUtcWithTheirFraction) {
    FileTime time;
    ASSERT_TRUE(FileTimeFromUnix(0, 0, time));
    EXPECT_EQ(time.Ticks(), 116444736000000000ull);
    EXPECT_EQ(FormatFileTime(time), "1970-01-01T00:00:00.0000000Z");
    ASSERT_TRUE(FileTimeFromUnix(1000000000, 999999999, time));
    EXPECT_EQ(FormatFileTime(time), "2001-09-09T01:46:40.9999999Z");
    EXPECT_EQ(FormatFileTime(FileTime{0, 0}), "1601-01-01T00:00:00.0000000Z");
    EXPECT_FALSE(FileTimeFromUnix(-11644473601, 0, time));
}

TEST(KitToolFormatTest, WholeSecondTimesCutTheFractionOff) {
    FileTime time;
    ASSERT_TRUE(FileTimeFromUnix(1000000000, 999999999, time));
    EXPECT_EQ(FormatFileTimeSeconds(time), "2001-09-09T01:46:40Z") << "cut, not rounded into the next second";
    ASSERT_TRUE(FileTimeFromUnix(1704067199, 0, time));
    EXPECT_EQ(FormatFileTimeSeconds(time), "2023-12-31T23:59:59Z");
    EXPECT_EQ(FormatFileTimeSeconds(FileTime{0, 0}), "1601-01-01T00:00:00Z");
}

}  // namespace
