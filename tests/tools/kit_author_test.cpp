// vxk5-kit as a kit author uses it on real trees: links, loops and special
// files in create, the kit file's mode, verify's warnings, list --json and
// extract, hostile kits included.

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/kit_tool_run.h"
#include "tools/kit_json.h"
#include "tools/progress_line.h"

using namespace vxk5;

namespace {

std::vector<std::string> EntryNames(const std::string& kitPath) {
    std::unique_ptr<DistributionKit> kit;
    std::vector<std::string> names;
    if (ReadKit(kit, FromMultiByte(kitPath)) != 0) return names;
    for (const KitFileEntry& entry : kit->Entries()) {
        const AString name = ToMultiByte(entry.name);
        names.emplace_back(name.c_str(), name.length());
    }
    return names;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The seconds since 1970 of a time written "YYYY-MM-DDTHH:MM:SSZ", the form
// of RFC 3339 that jq's fromdate reads; false for any other text (a fraction,
// an offset, a missing field).
bool ReadWholeSecondTime(const std::string& text, int64_t& seconds) {
    struct tm parts {};
    const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts);
    if (end == nullptr || *end != '\0' || text.size() != 20) return false;
    seconds = static_cast<int64_t>(timegm(&parts));
    return true;
}

// Names in the directory, "." and ".." left out, sorted; empty when missing.
std::vector<std::string> Listing(const std::string& directory) {
    std::vector<std::string> names;
    DIR* raw = opendir(directory.c_str());
    if (raw == nullptr) return names;
    while (const dirent* entry = readdir(raw)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(raw);
    std::sort(names.begin(), names.end());
    return names;
}

class KitAuthorTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDirectories(src_ + "/docs");
        WriteFile(src_ + "/docs/README.txt", "Read me.\n");
    }

    // A kit of the given container, written with the kit writer.
    void WriteContainer(const std::vector<KitFileEntry>& entries, const std::string& data,
                        std::vector<KitDescription> descriptions = {{u"en", u"P", u"V", u""}}) {
        std::string container =
            kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, descriptions, entries);
        container += data;
        ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), container), 0u);
    }

    TempDir tmp_;
    // Unpacked containers go into the test's directory.
    ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
    std::string src_ = tmp_.path("src");
    std::string kit_ = tmp_.path("out.efd");
};

TEST_F(KitAuthorTest, CreateFollowsLinksAndSkipsWhatItCannotPackWithAWarning) {
    MakeDirectories(tmp_.path("outside/lib/deep"));
    WriteFile(tmp_.path("outside/lib/deep/x.h"), "x");
    WriteFile(tmp_.path("outside/file.conf"), "conf");
    ASSERT_EQ(symlink("../outside/lib", (src_ + "/lib").c_str()), 0);             // a directory through a link
    ASSERT_EQ(symlink("../outside/file.conf", (src_ + "/linked.conf").c_str()), 0);  // a file through a link
    ASSERT_EQ(symlink("missing-target", (src_ + "/dangling").c_str()), 0);
    ASSERT_EQ(symlink("..", (src_ + "/docs/up").c_str()), 0);                   // loops to the root
    ASSERT_EQ(symlink(".", (src_ + "/docs/self").c_str()), 0);                  // loops to itself
    ASSERT_EQ(symlink("../..", (tmp_.path("outside/lib/deep/back")).c_str()), 0);  // back to outside/
    ASSERT_EQ(mkfifo((src_ + "/pipe").c_str(), 0600), 0);

    const RunResult run = RunTool(tmp_, {"create", src_, "-o", kit_, "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "warning: skipping dangling symbolic link " + src_ + "/dangling")) << run.err;
    EXPECT_TRUE(Contains(run.err, src_ + "/pipe: a FIFO")) << run.err;
    EXPECT_TRUE(Contains(run.err, src_ + "/docs/up: it leads back")) << run.err;
    EXPECT_TRUE(Contains(run.err, src_ + "/docs/self: it leads back")) << run.err;
    // outside/ is not an ancestor of the walk, so its link is followed once,
    // and the link inside it that leads back to lib/ stops there.
    EXPECT_TRUE(Contains(run.err, "lib/deep/back/lib: it leads back")) << run.err;

    const std::vector<std::string> expected{"docs\\README.txt", "lib\\deep\\back\\file.conf", "lib\\deep\\x.h",
                                            "linked.conf"};
    EXPECT_EQ(EntryNames(kit_), expected);
}

TEST_F(KitAuthorTest, KitFileTakesTheUmasksModeAndNoTemporaryFileStays) {
    const mode_t old = umask(027);
    RunResult run = RunTool(tmp_, {"create", src_, "-o", kit_});
    umask(002);
    const std::string second = tmp_.path("second.efd");
    const RunResult other = RunTool(tmp_, {"create", src_, "-o", second});
    umask(old);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(other.status, 0) << other.err;
    struct stat info {};
    ASSERT_EQ(stat(kit_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    ASSERT_EQ(stat(second.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0664u);

    // Rewriting replaces the kit by renaming, and a failed run leaves the old one.
    WriteFile(kit_, "old kit");
    run = RunTool(tmp_, {"create", src_, "-o", kit_, "--description", "docs/missing.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(kit_), "old kit");
    run = RunTool(tmp_, {"create", src_, "-o", kit_});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(EntryNames(kit_), std::vector<std::string>{"docs\\README.txt"});
    // No progress line off a terminal, and nothing left beside the kit.
    EXPECT_FALSE(Contains(run.err, "\r")) << run.err;
    for (const std::string& name : Listing(tmp_.path())) {
        EXPECT_EQ(name.find(".efd."), std::string::npos) << name;
    }
}

TEST(ProgressLineTest, RewritesOneLineAndErasesIt) {
    EXPECT_EQ(ProgressLine::Format(3, 10, 1572864, 3145728), "3/10 files, 1.5/3.0 MiB, 50%");
    EXPECT_EQ(ProgressLine::Format(2, 4, 0, 0), "2/4 files, 0.0/0.0 MiB, 50%");
    EXPECT_EQ(ProgressLine::Format(0, 0, 0, 0), "0/0 files, 0.0/0.0 MiB, 100%");

    std::ostringstream out;
    {
        ProgressLine line(out, 10, 10485760, std::chrono::milliseconds(0), std::chrono::milliseconds(0));
        line.Update(9, 10485760);
        line.Update(10, 10485760);
    }
    const std::string text = out.str();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_TRUE(Contains(text, "\r9/10 files, 10.0/10.0 MiB, 100%")) << text;
    EXPECT_TRUE(Contains(text, "\r10/10 files, 10.0/10.0 MiB, 100%")) << text;
    // The erasing ends the output: blanks, then the cursor back at the start.
    EXPECT_EQ(text.substr(text.size() - 2), " \r");

    std::ostringstream silent;
    {
        ProgressLine line(silent, 1, 1, std::chrono::hours(1));
        line.Update(1, 1);
    }
    EXPECT_EQ(silent.str(), "");  // small jobs show nothing
}

TEST_F(KitAuthorTest, VerifyWarnsAboutWhatInstallsAndStrictCountsWarnings) {
    WriteContainer({{u"docs\\README.txt", 0, 0, 0, 4}}, "data",
                   {{u"EN", u"P", u"V", u"docs\\README.txt"},
                    {u"de", u"P", u"V", u"docs\\LIESMICH.txt"},
                    {u"pt_br", u"P", u"V", u""},
                    {u"xx", u"P", u"V", u""}});
    RunResult run = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "OK")) << run.out;
    EXPECT_TRUE(Contains(run.err, "warning: description document of \"de\" is not in the kit: docs\\LIESMICH.txt\n"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "warning: description language \"xx\"")) << run.err;
    // Case is ignored as the installer ignores it.
    EXPECT_FALSE(Contains(run.err, "\"EN\"")) << run.err;
    EXPECT_FALSE(Contains(run.err, "pt_br")) << run.err;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("warning: ", 0), 0u) << line;

    run = RunTool(tmp_, {"verify", "--strict", kit_});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "2 warnings, which --strict counts as errors")) << run.err;

    // A clean kit passes --strict; errors stay errors without it.
    WriteContainer({{u"docs\\README.txt", 0, 0, 0, 4}}, "data");
    EXPECT_EQ(RunTool(tmp_, {"verify", "--strict", kit_}).status, 0);
    WriteContainer({{u"a.txt", 0, 0, 0, 40}}, "data");
    run = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(run.status, 1);
    // Bytes outside the container make the kit damaged, for verify as for the installer.
    EXPECT_TRUE(Contains(run.err, "damaged")) << run.err;
    EXPECT_EQ(RunTool(tmp_, {"verify", "--strict", "--strict", kit_}).status, 2);
}

TEST_F(KitAuthorTest, ListJsonParsesBackWithEveryField) {
    // Quotes, backslashes, control characters and text beyond ASCII and
    // beyond the first plane must come through intact.
    const WString product = u"B\u00fcro \"Vorlagen\"\t\U0001F600";
    // Times with a fraction (.1234567, .9999999) and the earliest a kit holds.
    WriteContainer({{u"docs\\README.txt", 0x157AA007u, 0x01D710B4u, 2, 4},
                    {u"\u00e9t\u00e9.txt", 0, 0, 0, 0},
                    {u"late.txt", 0x4598167Fu, 0x01C138D1u, 0, 0}},
                   "..data", {{u"de", product, u"Firma\\GmbH", u"docs\\README.txt"}, {u"en", u"", u"", u""}});
    const RunResult run = RunTool(tmp_, {"list", "--json", kit_});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document.at("kit"), kit_);
    ASSERT_EQ(document.at("descriptions").size(), 2u);
    const nlohmann::json& de = document["descriptions"][0];
    EXPECT_EQ(de.at("language"), "de");
    EXPECT_EQ(de.at("product"), Utf8Of(product));
    EXPECT_EQ(de.at("product"), "B\xc3\xbcro \"Vorlagen\"\t\xf0\x9f\x98\x80");
    EXPECT_EQ(de.at("vendor"), "Firma\\GmbH");
    EXPECT_EQ(de.at("description"), "docs\\README.txt");
    EXPECT_EQ(document["descriptions"][1].at("product"), "");

    ASSERT_EQ(document.at("files").size(), 3u);
    const nlohmann::json& readme = document["files"][0];
    EXPECT_EQ(readme.at("name"), "docs\\README.txt");
    EXPECT_EQ(readme.at("size"), 4);
    EXPECT_TRUE(readme.at("offset").is_number_unsigned());
    EXPECT_EQ(document["files"][1].at("name"), "\xc3\xa9t\xc3\xa9.txt");
    // Times read back as whole seconds of RFC 3339, the fraction cut off (as
    // the installer sets them), never rounded up into the next second.
    const std::vector<int64_t> seconds = {1614834367, -11644473600, 1000000000};
    for (size_t i = 0; i < seconds.size(); ++i) {
        const std::string modified = document["files"][i].at("modified").get<std::string>();
        int64_t read = 0;
        EXPECT_TRUE(ReadWholeSecondTime(modified, read)) << modified;
        EXPECT_EQ(read, seconds[i]) << modified;
    }
    EXPECT_EQ(readme.at("modified"), "2021-03-04T05:06:07Z");
    EXPECT_EQ(readme.at("offset").get<uint64_t>() + 4, document["files"][1].at("offset").get<uint64_t>() + 6);

    EXPECT_EQ(Utf8Of(WString(u"a\xD800z")), "a\xef\xbf\xbdz");  // a lone surrogate
}

TEST_F(KitAuthorTest, ExtractWritesBytesAndTimesAndRespectsAFullDirectory) {
    MakeDirectories(src_ + "/a/b");
    WriteFile(src_ + "/a/b/c.conf", std::string(3 << 20, 'c'));  // more than one copy buffer
    WriteFile(src_ + "/empty.txt", "");
    SetModified(src_ + "/a/b/c.conf", 1614834367, 123456700);
    SetModified(src_ + "/empty.txt", 946684800, 0);
    ASSERT_EQ(RunTool(tmp_, {"create", src_, "-o", kit_}).status, 0);

    const std::string out = tmp_.path("unpacked/here");  // parents are made
    RunResult run = RunTool(tmp_, {"extract", kit_, out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "extracted 3 files")) << run.out;
    for (const char* name : {"a/b/c.conf", "docs/README.txt", "empty.txt"}) {
        EXPECT_EQ(ReadFile(out + "/" + name), ReadFile(src_ + "/" + name)) << name;
        EXPECT_TRUE(PathExists(out + "/" + name)) << name;
    }
    struct stat info {};
    ASSERT_EQ(stat((out + "/a/b/c.conf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1614834367);
    EXPECT_EQ(info.st_mtim.tv_nsec, 123456700);
    ASSERT_EQ(stat((out + "/empty.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 946684800);

    // A directory that holds anything needs --force; the files are then replaced.
    WriteFile(out + "/empty.txt", "changed");
    run = RunTool(tmp_, {"extract", kit_, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "not empty")) << run.err;
    EXPECT_EQ(ReadFile(out + "/empty.txt"), "changed");
    run = RunTool(tmp_, {"extract", "--force", kit_, out});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(out + "/empty.txt"), "");

    EXPECT_EQ(RunTool(tmp_, {"extract", kit_}).status, 2);
    EXPECT_EQ(RunTool(tmp_, {"extract", "--frob", kit_, out}).status, 2);
    EXPECT_EQ(RunTool(tmp_, {"extract", tmp_.path("missing.efd"), tmp_.path("x")}).status, 1);
    EXPECT_FALSE(PathExists(tmp_.path("x")));
}

TEST_F(KitAuthorTest, ExtractRefusesHostileKitsAndWritesNothingOutsideTheDirectory) {
    const std::string sandbox = tmp_.path("sandbox");
    const std::string out = sandbox + "/out";
    MakeDirectories(sandbox);
    const std::vector<std::vector<KitFileEntry>> hostile{
        {{u"fine.txt", 0, 0, 0, 4}, {u"..\\escape.txt", 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"a\\..\\..\\escape.txt", 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"/tmp/escape.txt", 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"\\escape.txt", 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"C:escape.txt", 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"dir\\", 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {WString(u"nul\0x", 5), 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"", 0, 0, 0, 4}},
        // A unit that has no file-name bytes would cut the name short to "..".
        {{u"fine.txt", 0, 0, 0, 4}, {WString(u"..\xD800"), 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"past-the-end.txt", 0, 0, 2, 40}},
        // The installer's own check: names that do not convert whole, an
        // over-long component, a file that another entry needs as its folder.
        {{u"fine.txt", 0, 0, 0, 4}, {WString(u"user.txt\xD800.new", 13), 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {WString(u"x\xDC00y.txt", 7), 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {WString(std::u16string(300, u'n').c_str()), 0, 0, 0, 4}},
        {{u"fine.txt", 0, 0, 0, 4}, {u"fine.txt\\inner.txt", 0, 0, 0, 4}},
        {{u"q\\b.txt", 0, 0, 0, 4}, {u"q", 0, 0, 0, 4}},
    };
    for (const std::vector<KitFileEntry>& entries : hostile) {
        WriteContainer(entries, "data");
        const RunResult run = RunTool(tmp_, {"extract", kit_, out});
        EXPECT_EQ(run.status, 1) << ToMultiByte(entries[1].name).c_str();
        EXPECT_TRUE(Contains(run.err, "nothing was written")) << run.err;
        EXPECT_EQ(Listing(sandbox), std::vector<std::string>{}) << ToMultiByte(entries[1].name).c_str();
    }

    // Links already in the directory are never written through, with --force.
    MakeDirectories(out);
    MakeDirectories(tmp_.path("elsewhere"));
    WriteFile(tmp_.path("elsewhere/victim.txt"), "keep");
    ASSERT_EQ(symlink(tmp_.path("elsewhere").c_str(), (out + "/sub").c_str()), 0);
    ASSERT_EQ(symlink(tmp_.path("elsewhere/victim.txt").c_str(), (out + "/victim.txt").c_str()), 0);
    WriteContainer({{u"victim.txt", 0, 0, 0, 4}}, "evil");
    RunResult run = RunTool(tmp_, {"extract", "--force", kit_, out});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(tmp_.path("elsewhere/victim.txt")), "keep");
    EXPECT_EQ(ReadFile(out + "/victim.txt"), "evil");  // the link was replaced by the file
    struct stat info {};
    ASSERT_EQ(lstat((out + "/victim.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));

    WriteContainer({{u"sub\\victim.txt", 0, 0, 0, 4}}, "evil");
    run = RunTool(tmp_, {"extract", "--force", kit_, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "not a directory")) << run.err;
    EXPECT_EQ(ReadFile(tmp_.path("elsewhere/victim.txt")), "keep");
    EXPECT_EQ(Listing(tmp_.path("elsewhere")), std::vector<std::string>{"victim.txt"});
}

// The refusal names every refused entry with its reason, in the kit's order,
// and none of the entries that could be written.
TEST_F(KitAuthorTest, ExtractNamesEachRefusedEntryWithItsReason) {
    WriteContainer({{u"folder", 0, 0, 0, 4},  // a file where the next entry needs a folder
                    {u"folder\\inner.txt", 0, 0, 0, 4},
                    {u"fine.txt", 0, 0, 0, 4},
                    {u"a\\..\\up.txt", 0, 0, 0, 4}},
                   "data");
    const RunResult run = RunTool(tmp_, {"extract", kit_, tmp_.path("out")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vxk5-kit: refusing kit " + kit_ + ", nothing was written:\n" +
                           "  folder: unsafe name (" + DescribeEntryNameCheck(ENTRY_NAME_FILE_AND_DIRECTORY) + ")\n" +
                           "  a\\..\\up.txt: unsafe name (" + DescribeEntryNameCheck(ENTRY_NAME_DOT_DOT) + ")\n\n");
    EXPECT_FALSE(PathExists(tmp_.path("out")));
}

TEST_F(KitAuthorTest, ExtractKeepsTheNewerOfTwoEntriesWithOneName) {
    WriteContainer({{u"same.txt", 0, 200, 0, 3}, {u"same.txt", 0, 100, 3, 3}, {u"dir/x", 0, 100, 0, 3},
                    {u"dir\\x", 0, 300, 3, 3}},
                   "newold");
    const std::string out = tmp_.path("out");
    const RunResult run = RunTool(tmp_, {"extract", kit_, out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(out + "/same.txt"), "new");
    EXPECT_EQ(ReadFile(out + "/dir/x"), "old");
    EXPECT_TRUE(Contains(run.out, "extracted 2 files")) << run.out;
}

}  // namespace
