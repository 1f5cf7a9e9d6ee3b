// vxk5-kit and the check after a kit's deflate stream: create writes it (the
// demo kit's script too), list and verify tell it, verify --strict refuses a
// kit without one, and a kit whose stream no longer matches it is an error
// for list and verify and is refused by extract, which then writes nothing.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "kit/kit_trailer.h"
#include "tests/support/deflate_flips.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/kit_tool_run.h"

namespace {

using vxk5::kitformat::kTrailerSize;

class KitCheckToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string src = tmp_.path("src");
        MakeDirectories(src + "/docs");
        WriteFile(src + "/docs/README.en.txt", "Read me.\n");
        WriteFile(src + "/panel.conf", "panel.size=24\npanel.clock=true\n");
        WriteFile(src + "/launcher.desktop", "[Desktop Entry]\nName=Editor\nExec=editor %f\n");
        const RunResult run = RunTool(tmp_, {"create", src, "-o", kit_, "--lang", "en", "--product", "P", "--vendor",
                                             "V", "--description", "docs/README.en.txt", "--quiet"});
        ASSERT_EQ(run.status, 0) << run.err;
        bytes_ = ReadFile(kit_);
        ASSERT_GT(bytes_.size(), kTrailerSize);
    }

    // The kit as `bytes` instead.
    void Replace(const std::string& bytes) { WriteFile(kit_, bytes); }

    TempDir tmp_;
    // Unpacked containers go into the test's directory.
    ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
    std::string kit_ = tmp_.path("kit.efd");
    std::string bytes_;
};

}  // namespace

TEST_F(KitCheckToolTest, ACreatedKitIsCheckedByListAndVerify) {
    const RunResult listed = RunTool(tmp_, {"list", kit_});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::string streamBytes = std::to_string(bytes_.size() - kTrailerSize);
    EXPECT_NE(listed.out.find("Check: XXH3-64 of the deflate stream (" + streamBytes + " bytes), matches\n"),
              std::string::npos)
        << listed.out;
    const RunResult json = RunTool(tmp_, {"list", "--json", kit_});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out)["integrity"], "checked");
    const RunResult verified = RunTool(tmp_, {"verify", "--strict", kit_});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_EQ(verified.err, "");
    EXPECT_NE(verified.out.find("matches"), std::string::npos) << verified.out;
}

TEST_F(KitCheckToolTest, TheDemoKitIsChecked) {
    const std::string script = std::string(VXK5_SOURCE_DIR) + "/examples/demo-kit/make-kit.sh";
    const std::string demo = tmp_.path("demo.efd");
    const RunResult made = RunCommand(tmp_, {"/bin/sh", script, VXK5_KIT_TOOL, demo});
    ASSERT_EQ(made.status, 0) << made.err;
    const RunResult verified = RunTool(tmp_, {"verify", "--strict", demo});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_NE(verified.out.find("Check: XXH3-64"), std::string::npos) << verified.out;
}

// A kit made before kits carried a check: read as ever, with a warning that
// --strict counts.
TEST_F(KitCheckToolTest, AKitWithoutACheckIsAWarning) {
    Replace(bytes_.substr(0, bytes_.size() - kTrailerSize));
    const RunResult verified = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_NE(verified.err.find("warning: the kit carries no check of its deflate stream"), std::string::npos)
        << verified.err;
    EXPECT_NE(verified.out.find("Check: none"), std::string::npos) << verified.out;
    EXPECT_EQ(RunTool(tmp_, {"verify", "--strict", kit_}).status, 1);
    const RunResult json = RunTool(tmp_, {"list", "--json", kit_});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out)["integrity"], "unchecked");
    EXPECT_EQ(RunTool(tmp_, {"extract", kit_, tmp_.path("out")}).status, 0);
    EXPECT_EQ(ReadFile(tmp_.path("out/panel.conf")), "panel.size=24\npanel.clock=true\n");

    // Bytes that are no check after the stream are ignored, with a warning.
    Replace(bytes_ + "appended by a download");
    const RunResult appended = RunTool(tmp_, {"verify", kit_});
    EXPECT_EQ(appended.status, 0) << appended.err;
    EXPECT_NE(appended.err.find("warning: 22 bytes after the deflate stream and its check are ignored"),
              std::string::npos)
        << appended.err;
    EXPECT_EQ(RunTool(tmp_, {"verify", "--strict", kit_}).status, 1);
}

// One bit flipped where the stream still inflates to a container of the
// same length: without the check, verify would say OK and extract would
// write other bytes.
TEST_F(KitCheckToolTest, AStreamThatNoLongerMatchesItsCheckIsAnError) {
    const std::vector<size_t> flips = SameLengthFlips(bytes_, bytes_.size() - kTrailerSize, 0, 3);
    ASSERT_FALSE(flips.empty());
    for (const size_t bit : flips) {
        Replace(FlipBit(bytes_, bit));
        const RunResult verified = RunTool(tmp_, {"verify", kit_});
        EXPECT_EQ(verified.status, 1) << bit;
        EXPECT_NE(verified.err.find("damaged, the deflate stream does not match its check"), std::string::npos)
            << verified.err;
        EXPECT_EQ(verified.out, "");
        EXPECT_EQ(RunTool(tmp_, {"list", kit_}).status, 1);

        const std::string fresh = tmp_.path("fresh" + std::to_string(bit));
        const RunResult extracted = RunTool(tmp_, {"extract", kit_, fresh});
        EXPECT_EQ(extracted.status, 1);
        EXPECT_NE(extracted.err.find("nothing was written"), std::string::npos) << extracted.err;
        EXPECT_FALSE(PathExists(fresh)) << "not even the directory";
        MakeDirectories(tmp_.path("empty"));
        EXPECT_EQ(RunTool(tmp_, {"extract", kit_, tmp_.path("empty")}).status, 1);
        EXPECT_TRUE(IsDirectory(tmp_.path("empty")));
        EXPECT_EQ(RunCommand(tmp_, {"find", tmp_.path("empty"), "-mindepth", "1"}).out, "");
    }
}
