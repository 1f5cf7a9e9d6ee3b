// The deployment options beside the switch scan, the exit-status table, and
// the result document's text for awkward paths.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/deploy_options.h"
#include "app/result_document.h"
#include "lang/messages.h"

using namespace vxk5;

namespace {

struct Arguments {
    explicit Arguments(std::vector<std::string> words) : storage(std::move(words)) {
        for (std::string& word : storage) pointers.push_back(word.data());
    }
    int32_t count() const { return static_cast<int32_t>(pointers.size()); }
    char** vector() { return pointers.data(); }
    std::vector<std::string> storage;
    std::vector<char*> pointers;
};

TEST(DeployOptions, AreFoundAnywhereAndLeaveTheSwitchScanAlone) {
    Arguments arguments({"vxk5-setup", "usecwd", "-Lde", "--dry-run", "/S", "--result=/r/one.json",
                         "--exit-status", "--result=/r/two.json"});
    const DeployOptions deploy = ParseDeployOptions(arguments.count(), arguments.vector());
    EXPECT_TRUE(deploy.dryRun);
    EXPECT_TRUE(deploy.exitStatus);
    EXPECT_TRUE(deploy.wantsResult);
    EXPECT_EQ(std::string(deploy.resultPath.c_str()), "/r/two.json") << "the last one counts";
    EXPECT_TRUE(deploy.trustedKeyFiles.empty());

    // Trusted keys add up, wherever they stand, and leave the switch scan alone.
    Arguments keys({"vxk5-setup", "--trusted-key=/k/one.pub", "/S", "-Lfr", "--trusted-key=/k/two.pub",
                    "--trusted-key", "--trusted-keys=/k/x.pub"});
    const DeployOptions withKeys = ParseDeployOptions(keys.count(), keys.vector());
    ASSERT_EQ(withKeys.trustedKeyFiles.size(), 2u);
    EXPECT_EQ(withKeys.trustedKeyFiles[0], WString(u"/k/one.pub"));
    EXPECT_EQ(withKeys.trustedKeyFiles[1], WString(u"/k/two.pub"));
    const LaunchOptions keyLaunch = ParseCommandLine(keys.count(), keys.vector(), [] { return "C"; });
    EXPECT_TRUE(keyLaunch.silent);
    EXPECT_EQ(keyLaunch.languageId, FindLanguageId("fr"));

    // The scan still ends at the first language switch: /S after it is not seen.
    const LaunchOptions launch =
        ParseCommandLine(arguments.count(), arguments.vector(), [] { return static_cast<const char*>("C"); });
    EXPECT_TRUE(launch.usecwd);
    EXPECT_FALSE(launch.silent);
    EXPECT_EQ(launch.languageId, FindLanguageId("de"));

    // usecwd counts only as the first argument, whatever comes first.
    Arguments later({"vxk5-setup", "--exit-status", "usecwd", "/S"});
    const LaunchOptions second = ParseCommandLine(later.count(), later.vector(), [] { return "C"; });
    EXPECT_FALSE(second.usecwd);
    EXPECT_TRUE(second.silent);

    // Near misses are ignored, like any other unknown argument.
    Arguments nearMisses({"vxk5-setup", "--dry-run=yes", "--exit-status2", "--result", "-result=x", "--RESULT=x"});
    const DeployOptions none = ParseDeployOptions(nearMisses.count(), nearMisses.vector());
    EXPECT_FALSE(none.dryRun);
    EXPECT_FALSE(none.exitStatus);
    EXPECT_FALSE(none.wantsResult);
}

TEST(DeployOptions, ExitStatusTable) {
    EXPECT_EQ(ExitStatusFor(RunOutcome::Installed), 0);
    EXPECT_EQ(ExitStatusFor(RunOutcome::UpToDate), 0);
    EXPECT_EQ(ExitStatusFor(RunOutcome::Failed), 1);
    EXPECT_EQ(ExitStatusFor(RunOutcome::NoKit), 2);
    EXPECT_EQ(ExitStatusFor(RunOutcome::Cancelled), 3);
    EXPECT_EQ(ExitStatusFor(RunOutcome::Untrusted), 2);

    RunSummary summary;
    summary.outcome = RunOutcome::NoKit;
    DeployOptions quiet;
    EXPECT_EQ(FinishDeployment(quiet, summary, 0.0), 0) << "without --exit-status the status stays 0";
    DeployOptions telling;
    telling.exitStatus = true;
    EXPECT_EQ(FinishDeployment(telling, summary, 0.0), 2);
}

TEST(ResultDocument, CarriesAnyPathAsValidJson) {
    RunSummary summary;
    summary.outcome = RunOutcome::Installed;
    summary.messageKey = "IDS_SUCCESS_FINISH";
    // A quote, a backslash, a line feed, a non-Latin name, a character beyond
    // U+FFFF, and a unit standing for an undecodable file-name byte.
    summary.templateDirectory = WString(u"/home/\"q\"\\b\nc/Шаблоны/\U0001F600/\xDCFF/");
    summary.counts.newFiles = 3;
    summary.counts.kept = 1;
    summary.recorded = true;
    summary.recoveredAtStart = 2;
    const nlohmann::json document = nlohmann::json::parse(ResultDocument(summary, 1.23456));
    EXPECT_EQ(document["outcome"], "installed");
    EXPECT_EQ(document["message"], "Configuration installed successfully.");
    EXPECT_EQ(document["template_directory"], "/home/\"q\"\\b\nc/Шаблоны/\U0001F600/\uFFFD/");
    EXPECT_EQ(document["files"]["new"], 3);
    EXPECT_EQ(document["files"]["kept"], 1);
    EXPECT_EQ(document["recovered_at_start"], 2);
    EXPECT_DOUBLE_EQ(document["seconds"].get<double>(), 1.235);

    // A failed installation was rolled back: whatever the job had counted, nothing stands.
    summary.Fail("IDS_ERROR_FINISH");
    summary.templateDirectory = WString();
    const nlohmann::json failed = nlohmann::json::parse(ResultDocument(summary, 0.0));
    EXPECT_EQ(failed["outcome"], "failed");
    EXPECT_EQ(failed["files"]["new"], 0);
    EXPECT_TRUE(failed["template_directory"].is_null());
    EXPECT_TRUE(failed["signature"].is_null());
}

TEST(ResultDocument, TellsTheVerifiedSignatureAndTheRefusals) {
    RunSummary summary;
    summary.outcome = RunOutcome::Installed;
    summary.messageKey = "IDS_SUCCESS_FINISH";
    summary.signatureKeyId = "1CE61E06897F5F78";
    summary.signatureTrustedComment = "timestamp:1\tfile:vxk5.efd";
    nlohmann::json document = nlohmann::json::parse(ResultDocument(summary, 0.0));
    EXPECT_EQ(document["signature"]["key_id"], "1CE61E06897F5F78");
    EXPECT_EQ(document["signature"]["trusted_comment"], "timestamp:1\tfile:vxk5.efd");

    for (const char* key : {"IDS_ERROR_UNTRUSTED_NOSIG", "IDS_ERROR_UNTRUSTED_BADSIG", "IDS_ERROR_UNTRUSTED_KEYID",
                            "IDS_ERROR_UNTRUSTED_MISMATCH"}) {
        RunSummary refused;
        refused.Fail(key);
        EXPECT_EQ(refused.outcome, RunOutcome::Untrusted) << key;
        document = nlohmann::json::parse(ResultDocument(refused, 0.0));
        EXPECT_EQ(document["outcome"], "untrusted");
        EXPECT_EQ(document["message_key"], key);
        const std::string message = document["message"];
        EXPECT_EQ(message.rfind("Distribution kit file vxk5.efd is not signed by a trusted key: ", 0), 0u) << message;
        EXPECT_TRUE(document["signature"].is_null());
    }
}

// Originals that a recovery at start could not put back make the run a
// failure, whatever the installation itself did; a missing kit stays that.
TEST(ResultDocument, OriginalsLeftOutOfPlaceByARecoveryFailTheRun) {
    for (const RunOutcome outcome : {RunOutcome::Installed, RunOutcome::UpToDate, RunOutcome::Cancelled}) {
        RunSummary summary;
        summary.outcome = outcome;
        summary.recoveryFailed = true;
        summary.ApplyRecoveryFailure();
        const nlohmann::json document = nlohmann::json::parse(ResultDocument(summary, 0.0));
        EXPECT_EQ(document["outcome"], "failed");
        EXPECT_EQ(document["message"], "Not all original files could be restored. The originals are kept in:");
    }
    RunSummary noKit;
    noKit.outcome = RunOutcome::NoKit;
    noKit.recoveryFailed = true;
    noKit.ApplyRecoveryFailure();
    EXPECT_EQ(noKit.outcome, RunOutcome::NoKit);
    RunSummary clean;
    clean.outcome = RunOutcome::Installed;
    clean.ApplyRecoveryFailure();
    EXPECT_EQ(clean.outcome, RunOutcome::Installed);
}

}  // namespace
