// Preparing a run without a window: where the kit is looked for, what the
// user is told when there is none or it cannot be read, and the template
// directory proposed from the launcher's configuration.

#include "run/preparation.h"

#include <string>
#include <utility>
#include <vector>

#include "base/conversion.h"
#include "lang/messages.h"
#include "platform/file_entries.h"
#include "tests/platform/platform_test_support.h"
#include "tests/support/scoped_cwd.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

// A scratch HOME and TMPDIR, and the current directory where the kit is looked for.
class PreparationTest : public ::testing::Test {
protected:
    PreparationTest()
        : home_("HOME", temp_.path("home")), tmpdir_("TMPDIR", temp_.path("tmp")), here_(Made(temp_.path("here"))) {
        MakeDirectories(temp_.path("home"));
        MakeDirectories(temp_.path("tmp"));
    }

    static std::string Made(const std::string& directory) {
        MakeDirectories(directory);
        return directory;
    }

    bool Prepare(bool dryRun = true) {
        PreparationRequest request;
        request.dryRun = dryRun;
        request.kitPlace = KitPlace::CurrentDirectory;
        const NoticeSink tell = [this](const WString& text, NoticeKind kind) { notices_.emplace_back(ToMultiByteString(text), kind); };
        return PrepareRun(request, tell, kit_, prepared_, summary_);
    }

    TempDir temp_;
    ScopedEnv home_;
    ScopedEnv tmpdir_;
    ScopedCwd here_;
    std::unique_ptr<DistributionKit> kit_;
    PreparedRun prepared_;
    RunSummary summary_;
    std::vector<std::pair<std::string, NoticeKind>> notices_;
};

TEST_F(PreparationTest, TheKitIsLookedForInTheChosenPlace) {
    EXPECT_EQ(ToMultiByteString(LocateKit(KitPlace::CurrentDirectory)), CurrentDirectory() + "/vxk5.efd");
    const std::string beside = ToMultiByteString(LocateKit(KitPlace::BesideProgram));
    EXPECT_EQ(beside.rfind('/'), beside.length() - std::string("/vxk5.efd").length()) << beside;
    EXPECT_EQ(beside.rfind("/vxk5.efd"), beside.rfind('/')) << beside;
}

TEST_F(PreparationTest, NoKitOrOneThatIsNoFileIsToldOnceAsAnError) {
    for (bool directoryInItsPlace : {false, true}) {
        if (directoryInItsPlace) MakeDirectories(temp_.path("here/vxk5.efd"));
        notices_.clear();
        summary_ = RunSummary();
        EXPECT_FALSE(Prepare());
        EXPECT_EQ(summary_.outcome, RunOutcome::NoKit);
        EXPECT_EQ(summary_.messageKey, "IDS_ERROR_NOSOURCE");
        ASSERT_EQ(notices_.size(), 1u);
        EXPECT_EQ(notices_[0].first, ToMultiByteString(LoadResString("IDS_ERROR_NOSOURCE")));
        EXPECT_EQ(notices_[0].second, NoticeKind::Error);
    }
}

TEST_F(PreparationTest, ADamagedKitFailsAfterTheFirstUsableRecordedLocationIsProposed) {
    WriteFile(temp_.path("here/vxk5.efd"), "not a kit at all");
    MakeDirectories(temp_.path("home/.Vx/vxlstart"));
    MakeDirectories(temp_.path("home/usable"));
    WriteFile(temp_.path("home/.Vx/vxlstart/vxlstart.cfg"),
              "ConfigurationTemplatesLocation=http://host/t\n"
              "ConfigurationTemplatesLocation=" + temp_.path("home/a-file") + "\n"
              "ConfigurationTemplatesLocation=~/usable/\n");
    WriteFile(temp_.path("home/a-file"), "x");
    for (bool dryRun : {true, false}) {
        notices_.clear();
        summary_ = RunSummary();
        EXPECT_FALSE(Prepare(dryRun));
        EXPECT_EQ(summary_.messageKey, "IDS_ERROR_DAMAGEDSOURCE");
        EXPECT_EQ(ToMultiByteString(prepared_.kitPath), CurrentDirectory() + "/vxk5.efd");
        EXPECT_EQ(ToMultiByteString(prepared_.templateDirectory), temp_.path("home/usable/"));
        ASSERT_EQ(notices_.size(), 1u);
        EXPECT_EQ(notices_[0].second, NoticeKind::Error);
    }
}

}  // namespace
