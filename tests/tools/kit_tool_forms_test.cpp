// vxk5-kit's command-line forms as users of tar and minisign expect them:
// reasons in words, "-" for standard input and output, "--", "--opt=value",
// the names create refuses and leaves out, extract -v and its account of a
// failure, verify --json and list --names.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_writer.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/kit_tool_run.h"
#include "tools/arguments.h"
#include "tools/progress_line.h"

using namespace vxk5;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class KitToolFormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDirectories(src_ + "/docs");
        WriteFile(src_ + "/docs/README.txt", "Read me.\n");
        WriteFile(src_ + "/a.conf", "a\n");
    }

    RunResult Tool(std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.begin(), VXK5_KIT_TOOL);
        return RunCommand(tmp_, std::move(arguments), input);
    }

    void WriteContainer(const std::vector<KitFileEntry>& entries, const std::string& data) {
        std::string container = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList,
                                                               {{u"en", u"P", u"V", u""}}, entries);
        ASSERT_EQ(WriteKitFile(FromMultiByte(kit_), container + data), 0u);
    }

    TempDir tmp_;
    ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
    std::string src_ = tmp_.path("src");
    std::string kit_ = tmp_.path("k.efd");
};

TEST_F(KitToolFormsTest, EveryFailureSaysWhyInWords) {
    WriteFile(tmp_.path("junk.efd"), "\x07 not a kit");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"list", tmp_.path("none.efd")}, "cannot open " + tmp_.path("none.efd") + ": No such file or directory"},
        {{"verify", tmp_.path()}, "cannot read kit " + tmp_.path() + ": Is a directory"},
        {{"extract", tmp_.path("none.efd"), tmp_.path("x")}, "No such file or directory; nothing was written"},
        {{"list", tmp_.path("junk.efd")}, "not a kit, or a damaged one"},
        {{"sign", "-s", tmp_.path("none.key"), kit_}, "cannot open " + tmp_.path("none.key") + ": No such file"},
        {{"verify", "--key", tmp_.path("none.pub"), kit_}, "cannot open " + tmp_.path("none.pub") + ": No such"},
        {{"create", tmp_.path("none"), "-o", kit_}, "cannot open " + tmp_.path("none") + ": No such file"},
    };
    for (const auto& [arguments, reason] : cases) {
        const RunResult run = Tool(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_TRUE(Contains(run.err, reason)) << run.err;
        EXPECT_FALSE(Contains(run.err, "code")) << run.err;
    }
    EXPECT_FALSE(PathExists(tmp_.path("x")));
}

TEST_F(KitToolFormsTest, CreateRefusesNamesTheInstallerWouldRefuseBeforeWritingAnything) {
    for (const std::string& name : {std::string("caf\xe9.txt"), std::string(".k5stp3")}) {
        WriteFile(src_ + "/docs/" + name, "x");
        const RunResult run = Tool({"create", src_, "-o", kit_});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Contains(run.err, "cannot pack " + src_ + "/docs/")) << run.err;
        EXPECT_TRUE(Contains(run.err, "nothing was written")) << run.err;
        EXPECT_FALSE(PathExists(kit_));
        ASSERT_EQ(unlink((src_ + "/docs/" + name).c_str()), 0);
    }
    const RunResult run = Tool({"create", src_, "-o", kit_});
    EXPECT_EQ(run.status, 0) << run.err;
    // The Latin-1 byte is shown escaped, never written raw to the terminal.
    WriteFile(src_ + "/caf\xe9.txt", "x");
    EXPECT_TRUE(Contains(Tool({"create", src_, "-o", kit_}).err, "caf\\xE9.txt: its name is not valid UTF-8"));
}

TEST_F(KitToolFormsTest, CreateLeavesItsOwnKitOutOfTheTreeItPacks) {
    const std::string inside = src_ + "/kit.efd";
    ASSERT_EQ(Tool({"create", src_, "-o", inside}).status, 0);
    const RunResult again = Tool({"create", src_, "-o", inside});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(Contains(again.err, "warning: leaving out " + inside + ": it is the kit being written")) << again.err;
    EXPECT_EQ(Tool({"list", "--names", inside}).out, "a.conf\ndocs/README.txt\n");
}

TEST_F(KitToolFormsTest, DashIsStandardInputForReadersAndStandardOutputForCreate) {
    const RunResult created = Tool({"create", src_, "-o", "-", "--lang=en", "--product=P", "--vendor", "V"});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_FALSE(PathExists(tmp_.path("-")));
    EXPECT_EQ(created.err, "");  // no progress line where the standard error is no terminal
    const std::string kit = created.out;

    EXPECT_EQ(Tool({"list", "--names", "-"}, kit).out, "a.conf\ndocs/README.txt\n");
    const RunResult listed = Tool({"list", "-"}, kit);
    EXPECT_TRUE(Contains(listed.out, "Signature: not looked for")) << listed.out;

    const RunResult verified = Tool({"verify", "--json", "-"}, kit);
    EXPECT_EQ(verified.status, 0) << verified.err;
    const nlohmann::json document = nlohmann::json::parse(verified.out);
    EXPECT_EQ(document["ok"], true);
    EXPECT_EQ(document["files"], 2);
    EXPECT_EQ(document["integrity"], "checked");

    const RunResult extracted = Tool({"extract", "-v", "-", tmp_.path("out")}, kit);
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(ReadFile(tmp_.path("out/docs/README.txt")), "Read me.\n");
    EXPECT_TRUE(Contains(extracted.out, tmp_.path("out") + "/docs/README.txt\n")) << extracted.out;

    const RunResult garbage = Tool({"verify", "-"}, "not a kit");
    EXPECT_EQ(garbage.status, 1);
    EXPECT_TRUE(Contains(garbage.err, "cannot read kit standard input: ")) << garbage.err;
    EXPECT_EQ(Tool({"verify", "--key", tmp_.path("k.pub"), "-"}, kit).status, 1);
}

TEST_F(KitToolFormsTest, DoubleDashEndsOptionsAndLongOptionsTakeEqualsValues) {
    const RunResult version = Tool({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vxk5-kit ", 0), 0u) << version.out;

    ASSERT_EQ(Tool({"create", "--output=" + kit_, "--lang=de", "--product=Vorlagen", "--", src_}).status, 0);
    const nlohmann::json listed = nlohmann::json::parse(Tool({"list", "--json", "--", kit_}).out);
    EXPECT_EQ(listed["descriptions"][0]["language"], "de");
    EXPECT_EQ(listed["descriptions"][0]["product"], "Vorlagen");

    // After "--", "-h" is a file name, not a request for help.
    const RunResult help = Tool({"list", "--", "-h"});
    EXPECT_EQ(help.status, 1);
    EXPECT_TRUE(Contains(help.err, "cannot open -h: No such file or directory")) << help.err;
    EXPECT_EQ(Tool({"extract", "--force=yes", kit_, tmp_.path("o")}).status, 2);
    EXPECT_EQ(Tool({"list", "--json", "--names", kit_}).status, 2);
}

TEST_F(KitToolFormsTest, KeygenAndSignFollowTheSameRules) {
    ASSERT_EQ(Tool({"create", src_, "-o", kit_}).status, 0);
    const std::string pub = tmp_.path("lab.pub");
    const std::string sec = tmp_.path("lab.key");
    RunResult run = Tool({"keygen", "-W", "-p" + pub, "-s", sec});
    ASSERT_EQ(run.status, 0) << run.err;
    run = Tool({"sign", "-s" + sec, "-t", "-release-", "--", kit_});
    ASSERT_EQ(run.status, 0) << run.err;
    run = Tool({"verify", "--json", "--key=" + pub, kit_});
    EXPECT_EQ(run.status, 0) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["signature"]["trusted_comment"], "-release-");

    run = Tool({"verify", "--key", pub, tmp_.path("none.efd")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "cannot open " + tmp_.path("none.efd") + ": No such file or directory")) << run.err;
    EXPECT_EQ(Tool({"sign", "-s", sec, "-"}).status, 2);  // no place for -.minisig
    EXPECT_EQ(Tool({"keygen", "-W", "-p", pub, "-s", sec, "stray"}).status, 2);
    EXPECT_EQ(Tool({"keygen", "-W", "-f=yes", "-p", pub, "-s", sec}).status, 2);
    run = Tool({"verify", "--key", tmp_.path("k.efd"), kit_});  // a kit is no public key
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, tmp_.path("k.efd"))) << run.err;
}

TEST_F(KitToolFormsTest, VerifyJsonListsEveryError) {
    WriteContainer({{u"..\\evil.txt", 0, 0, 0, 4}, {u"\\abs.txt", 0, 0, 0, 4}}, "evil");
    const RunResult run = Tool({"verify", "--json", kit_});
    EXPECT_EQ(run.status, 1);
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["ok"], false);
    ASSERT_GE(document["errors"].size(), 2u);
    EXPECT_TRUE(Contains(document["errors"].dump(), "..\\\\evil.txt")) << document.dump();
    EXPECT_TRUE(Contains(document["errors"].dump(), "\\\\abs.txt")) << document.dump();

    const nlohmann::json missing = nlohmann::json::parse(Tool({"verify", "--json", tmp_.path("none")}).out);
    EXPECT_EQ(missing["ok"], false);
    EXPECT_TRUE(Contains(missing["errors"][0].get<std::string>(), "No such file or directory"));
    EXPECT_TRUE(missing["files"].is_null());
}

TEST_F(KitToolFormsTest, ExtractNamesWhatItWroteBeforeAFailure) {
    WriteContainer({{u"a.txt", 0, 0, 0, 1}, {u"b.txt", 0, 0, 1, 1}, {u"sub\\c.txt", 0, 0, 2, 1}, {u"z.txt", 0, 0, 3, 1}},
                   "abcz");
    const std::string out = tmp_.path("out");
    MakeDirectories(out);
    MakeDirectories(tmp_.path("elsewhere"));
    ASSERT_EQ(symlink(tmp_.path("elsewhere").c_str(), (out + "/sub").c_str()), 0);
    const RunResult run = Tool({"extract", "--force", kit_, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "before this failure 2 of 4 files were written:\n  " + out + "/a.txt\n  " + out +
                                      "/b.txt\n"))
        << run.err;
    EXPECT_FALSE(PathExists(tmp_.path("elsewhere/c.txt")));

    WriteFile(tmp_.path("file"), "");
    const RunResult intoFile = Tool({"extract", kit_, tmp_.path("file")});
    EXPECT_EQ(intoFile.status, 1);
    EXPECT_TRUE(Contains(intoFile.err, "cannot extract into " + tmp_.path("file") +
                                           ": Not a directory; nothing was written"))
        << intoFile.err;
    const RunResult belowFile = Tool({"extract", kit_, tmp_.path("file/sub")});
    EXPECT_EQ(belowFile.status, 1);
    EXPECT_TRUE(Contains(belowFile.err, ": Not a directory; nothing was written")) << belowFile.err;
}

TEST(ArgumentScannerTest, SplitsValuesEndsOptionsAndKeepsDash) {
    std::vector<std::string> words = {"--lang=de", "-sKEY", "-t", "-x", "-", "--quiet=1", "--", "--json", "-"};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    ArgumentScanner arguments(static_cast<int>(argv.size()), argv.data());
    std::string value;
    std::string error;
    ASSERT_TRUE(arguments.Next());
    EXPECT_TRUE(arguments.IsOption());
    EXPECT_EQ(arguments.Text(), "--lang");
    EXPECT_FALSE(arguments.NoValue(error));
    ASSERT_TRUE(arguments.TakeValue(value, error));
    EXPECT_EQ(value, "de");
    ASSERT_TRUE(arguments.Next());
    EXPECT_EQ(arguments.Text(), "-s");
    ASSERT_TRUE(arguments.TakeValue(value, error));
    EXPECT_EQ(value, "KEY");
    ASSERT_TRUE(arguments.Next());
    ASSERT_TRUE(arguments.TakeValue(value, error));  // a value that looks like an option
    EXPECT_EQ(value, "-x");
    ASSERT_TRUE(arguments.Next());
    EXPECT_FALSE(arguments.IsOption());  // "-" is an operand
    ASSERT_TRUE(arguments.Next());
    EXPECT_FALSE(arguments.NoValue(error));
    EXPECT_EQ(error, "option --quiet takes no value");
    for (int operand = 0; operand < 2; ++operand) {
        ASSERT_TRUE(arguments.Next());
        EXPECT_FALSE(arguments.IsOption()) << arguments.Text();
    }
    EXPECT_FALSE(arguments.Next());
}

TEST(ProgressLineTest, ClearMakesRoomAndBytesOnlyLeavesOutFiles) {
    std::ostringstream out;
    ProgressLine line(out, 0, 2097152, std::chrono::milliseconds(0), std::chrono::hours(1));
    line.CountBytesOnly();
    line.Update(0, 1048576);
    EXPECT_EQ(out.str(), "\r1.0/2.0 MiB, 50%");
    line.Clear();
    line.Update(0, 2097152);  // drawn again at once, although the interval has not passed
    EXPECT_EQ(out.str(), "\r1.0/2.0 MiB, 50%\r                \r\r2.0/2.0 MiB, 100%");
}

}  // namespace
