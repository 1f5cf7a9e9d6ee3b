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
    // The bare --trusted-key has no value (the next argument is an option): it
    // names no file, which keeps the policy in force.
    ASSERT_EQ(withKeys.trustedKeyFiles.size(), 3u);
    EXPECT_EQ(withKeys.trustedKeyFiles[0], WString(u"/k/one.pub"));
    EXPECT_EQ(withKeys.trustedKeyFiles[1], WString(u"/k/two.pub"));
    EXPECT_TRUE(withKeys.trustedKeyFiles[2].empty());
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

    // Near misses are ignored, like any other unknown argument, and so is a
    // --result with no value.
    Arguments nearMisses({"vxk5-setup", "--dry-run=yes", "--exit-status2", "-result=x", "--RESULT=x", "--result"});
    const DeployOptions none = ParseDeployOptions(nearMisses.count(), nearMisses.vector());
    EXPECT_FALSE(none.dryRun);
    EXPECT_FALSE(none.exitStatus);
    EXPECT_FALSE(none.wantsResult);
}

TEST(DeployOptions, TakeTheirValueInOneWordOrTwo) {
    Arguments arguments({"vxk5-setup", "--trusted-key", "/k/one.pub", "/S", "--result", "/r/one.json",
                         "--trusted-key=/k/two.pub", "--exit-status", "--trusted-key", "k/three.pub"});
    const DeployOptions deploy = ParseDeployOptions(arguments.count(), arguments.vector());
    EXPECT_TRUE(deploy.wantsResult);
    EXPECT_EQ(std::string(deploy.resultPath.c_str()), "/r/one.json");
    EXPECT_TRUE(deploy.exitStatus);
    ASSERT_EQ(deploy.trustedKeyFiles.size(), 3u);
    EXPECT_EQ(deploy.trustedKeyFiles[0], WString(u"/k/one.pub"));
    EXPECT_EQ(deploy.trustedKeyFiles[1], WString(u"/k/two.pub"));
    EXPECT_EQ(deploy.trustedKeyFiles[2], WString(u"k/three.pub"));
    EXPECT_TRUE(deploy.warnings.empty());

    // The last one-word or two-word --result counts; an empty value is a value.
    Arguments results({"vxk5-setup", "--result=/r/one.json", "--result", "/r/two.json"});
    EXPECT_EQ(std::string(ParseDeployOptions(results.count(), results.vector()).resultPath.c_str()), "/r/two.json");
    Arguments emptyKey({"vxk5-setup", "--trusted-key", ""});
    const DeployOptions empty = ParseDeployOptions(emptyKey.count(), emptyKey.vector());
    ASSERT_EQ(empty.trustedKeyFiles.size(), 1u);
    EXPECT_TRUE(empty.trustedKeyFiles[0].empty());
}

TEST(DeployOptions, ValuesAreNoSwitches) {
    // "/Srv" would be a silent switch and "/lab.pub" a language switch that
    // ends the scan; as values they are neither.
    Arguments arguments({"vxk5-setup", "--result", "/Srv/r.json", "--trusted-key", "/lab.pub", "-Lde"});
    LaunchOptions launch = ParseCommandLine(arguments.count(), arguments.vector(), [] { return "C"; });
    EXPECT_FALSE(launch.silent);
    EXPECT_EQ(launch.languageId, FindLanguageId("de"));
    // A value after usecwd, and the switches after a value, are read as before.
    Arguments afterUsecwd({"vxk5-setup", "usecwd", "--trusted-key", "-Sfile.pub", "/S"});
    launch = ParseCommandLine(afterUsecwd.count(), afterUsecwd.vector(), [] { return "C"; });
    EXPECT_TRUE(launch.usecwd);
    EXPECT_TRUE(launch.silent);
    Arguments valueOnly({"vxk5-setup", "--trusted-key", "-Sfile.pub"});
    EXPECT_FALSE(ParseCommandLine(valueOnly.count(), valueOnly.vector(), [] { return "C"; }).silent);
    // An option that has no value takes nothing: the next option stays one.
    Arguments noValue({"vxk5-setup", "--result", "--dry-run", "/S"});
    EXPECT_TRUE(ParseCommandLine(noValue.count(), noValue.vector(), [] { return "C"; }).silent);
    EXPECT_EQ(ArgumentsTaken(noValue.count(), noValue.vector(), 1), 1);
    EXPECT_EQ(ArgumentsTaken(arguments.count(), arguments.vector(), 1), 2);
    EXPECT_EQ(ArgumentsTaken(arguments.count(), arguments.vector(), 2), 1);
}

// A --trusted-key without a file must not be dropped: it keeps the policy in
// force, so that every kit is refused rather than installed unchecked.
TEST(DeployOptions, AMissingValueIsToldAndAKeyWithoutOneStillCounts) {
    Arguments last({"vxk5-setup", "/S", "--trusted-key"});
    DeployOptions deploy = ParseDeployOptions(last.count(), last.vector());
    ASSERT_EQ(deploy.trustedKeyFiles.size(), 1u);
    EXPECT_TRUE(deploy.trustedKeyFiles[0].empty());
    ASSERT_EQ(deploy.warnings.size(), 1u);
    EXPECT_EQ(deploy.warnings[0], "--trusted-key needs a file name: no kit is trusted through it");

    Arguments beforeOption({"vxk5-setup", "--trusted-key", "--exit-status", "--result", "--dry-run"});
    deploy = ParseDeployOptions(beforeOption.count(), beforeOption.vector());
    ASSERT_EQ(deploy.trustedKeyFiles.size(), 1u);
    EXPECT_TRUE(deploy.trustedKeyFiles[0].empty());
    EXPECT_TRUE(deploy.exitStatus);
    EXPECT_TRUE(deploy.dryRun);
    EXPECT_FALSE(deploy.wantsResult);
    ASSERT_EQ(deploy.warnings.size(), 2u);
    EXPECT_EQ(deploy.warnings[1], "--result needs a file name: no result is written");
}

TEST(DeployOptions, UnknownLongOptionsAreIgnoredWithOneWarningEach) {
    Arguments arguments({"vxk5-setup", "--foo", "/S", "--help", "--dry-run=yes", "--exit-status2", "--RESULT=x",
                         "--trusted-keys=/k/x.pub", "--", "--result", "/r/--x.json", "-result=x", "plain", "/x",
                         "--display=:1", "--sync", "--name", "vxk5", "--gtk-module=m"});
    const DeployOptions deploy = ParseDeployOptions(arguments.count(), arguments.vector());
    const std::vector<std::string> expected = {
        "unknown option --foo ignored",           "unknown option --help ignored",
        "unknown option --dry-run=yes ignored",   "unknown option --exit-status2 ignored",
        "unknown option --RESULT=x ignored",      "unknown option --trusted-keys=/k/x.pub ignored",
        "unknown option -- ignored"};
    EXPECT_EQ(deploy.warnings, expected);
    EXPECT_FALSE(deploy.dryRun);
    EXPECT_FALSE(deploy.exitStatus);
    EXPECT_TRUE(deploy.trustedKeyFiles.empty());
    EXPECT_EQ(std::string(deploy.resultPath.c_str()), "/r/--x.json");
    // The switch scan is unchanged by them.
    const LaunchOptions launch = ParseCommandLine(arguments.count(), arguments.vector(), [] { return "C"; });
    EXPECT_TRUE(launch.silent);
    EXPECT_EQ(launch.languageId, kLanguageEnglish);
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

    // A directory as the launcher configuration records it, without the
    // final "/", and the root directory are written in the same form.
    summary.templateDirectory = WString(u"/srv/templates");
    EXPECT_EQ(nlohmann::json::parse(ResultDocument(summary, 0.0))["template_directory"], "/srv/templates/");
    summary.templateDirectory = WString(u"/");
    EXPECT_EQ(nlohmann::json::parse(ResultDocument(summary, 0.0))["template_directory"], "/");

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

// "checked" only for a stream that matched its check; a check of a later
// version, none at all, or a stream never read to its end are "unchecked".
TEST(ResultDocument, TellsWhatTheKitsCheckSaid) {
    const std::vector<std::pair<KitCheck, const char*>> cases = {
        {KitCheck::Matched, "checked"},     {KitCheck::Absent, "unchecked"},   {KitCheck::Unknown, "unchecked"},
        {KitCheck::Pending, "unchecked"},   {KitCheck::Mismatch, "damaged"},   {KitCheck::CutShort, "damaged"},
        {KitCheck::Malformed, "damaged"},   {KitCheck::Misplaced, "damaged"},
    };
    for (const auto& [check, name] : cases) {
        RunSummary summary;
        summary.kitCheck = check;
        EXPECT_EQ(nlohmann::json::parse(ResultDocument(summary, 0.0))["integrity"], name) << KitCheckText(check);
    }
    EXPECT_EQ(nlohmann::json::parse(ResultDocument(RunSummary(), 0.0))["integrity"], "unchecked");
}
