// Unattended deployment with the real installer: the result document for
// every outcome, the exit status with and without --exit-status, and the dry
// run, which must leave the template directory and TMPDIR exactly as they were.

#include <signal.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "installer_run.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr time_t kYear2001 = 978307200;
constexpr time_t kYear2010 = 1262304000;
constexpr time_t kYear2020 = 1577836800;

void SetTime(const std::string& path, time_t seconds) {
    const struct utimbuf times = {seconds, seconds};
    ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

class Deploy : public InstallerRun {
protected:
    std::string Result() const { return temp_.path("result.json"); }
    std::string Output() const { return ReadFile(temp_.path("stdout")); }

    // The sample tree with whole-second times, so that a second run finds its
    // copies as new as the kit's, packed into the kit.
    void MakeWholeSecondKit() {
        const std::string source = temp_.path("src");
        WriteSampleTree(source);
        for (const auto& entry : fs::recursive_directory_iterator(source)) {
            if (entry.is_regular_file()) SetTime(entry.path().string(), kYear2010);
        }
        MakeKit(source);
    }

    // Runs the installer without a display, standard output kept; its exit status.
    int Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {AppDir() + "/vxk5-setup"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<std::string> env = {"HOME=" + Home(), "TMPDIR=" + Tmp(), "PATH=/usr/bin:/bin"};
        for (const char* name : {"LSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
            if (const char* v = std::getenv(name)) env.push_back(std::string(name) + "=" + v);
        }
        ChildProcess child(argv, env, temp_.path("stdout"), temp_.path("stderr"));
        int status = -1;
        if (!child.Wait(60, status)) return -1;
        return status;
    }

    // Runs with --result (and --exit-status when asked) and parses the document.
    Json RunForResult(std::vector<std::string> arguments, int* status = nullptr) {
        fs::remove(Result());
        arguments.push_back("--result=" + Result());
        const int exitStatus = Run(arguments);
        if (status != nullptr) *status = exitStatus;
        return Json::parse(ReadFile(Result()));
    }

    static void ExpectFiles(const Json& document, int written, int replaced, int kept) {
        EXPECT_EQ(document["files"]["new"], written) << document.dump();
        EXPECT_EQ(document["files"]["replaced"], replaced) << document.dump();
        EXPECT_EQ(document["files"]["kept"], kept) << document.dump();
    }
};

TEST_F(Deploy, ResultDocumentTellsEachOutcome) {
    MakeWholeSecondKit();

    // A fresh install writes every file and records the directory.
    Json document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "installed");
    EXPECT_EQ(document["message_key"], "IDS_SUCCESS_FINISH");
    EXPECT_EQ(document["message"], "Configuration installed successfully.");
    EXPECT_EQ(document["template_directory"], DefaultTemplates());
    EXPECT_EQ(document["kit"], Kit());
    ExpectFiles(document, 4, 0, 0);
    EXPECT_EQ(document["recorded_in_launcher_configuration"], true);
    EXPECT_EQ(document["recovered_at_start"], 0);
    EXPECT_EQ(document["dry_run"], false);
    EXPECT_GE(document["seconds"].get<double>(), 0.0);

    // The same kit again: nothing to write, in the user's language or not.
    document = RunForResult({"/S", "-Lde"});
    EXPECT_EQ(document["outcome"], "up-to-date");
    EXPECT_EQ(document["message"], "Configuration installed successfully.") << "the message is English";
    ExpectFiles(document, 0, 0, 4);

    // A folder in the way of a file that would be replaced: the installation
    // fails and is rolled back, and the document says nothing was written.
    const std::string blocked = DefaultTemplates() + "settings.cfg";
    fs::remove(blocked);
    MakeDirectories(blocked);
    SetTime(blocked, kYear2001);
    SetTime(DefaultTemplates() + "doc/readme.html", kYear2001);  // replaced first, then put back
    const std::string before = Snapshot(DefaultTemplates());
    const std::string configBefore = ReadFile(MainConfig());
    document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "failed");
    EXPECT_EQ(document["message_key"], "IDS_ERROR_FINISH");
    EXPECT_NE(document["error_code"], 0);
    ExpectFiles(document, 0, 0, 0);
    EXPECT_EQ(document["recorded_in_launcher_configuration"], false);
    EXPECT_EQ(Snapshot(DefaultTemplates()), before);
    EXPECT_EQ(ReadFile(MainConfig()), configBefore);

    // A kit that cannot be read, then none at all.
    WriteFile(Kit(), "not a kit");
    document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "no-kit");
    EXPECT_EQ(document["message_key"], "IDS_ERROR_DAMAGEDSOURCE");
    EXPECT_EQ(document["kit"], Kit());
    fs::remove(Kit());
    document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "no-kit");
    EXPECT_EQ(document["message_key"], "IDS_ERROR_NOSOURCE");
    EXPECT_EQ(document["message"], "Distribution kit file vxk5.efd not found.");
    EXPECT_TRUE(document["kit"].is_null());
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(Deploy, ExitStatusTellsTheOutcomeOnlyWhenAskedTo) {
    MakeWholeSecondKit();
    const std::string kitBytes = ReadFile(Kit());
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int status;
    };
    const std::vector<Case> cases = {
        {"installed", [] {}, 0},
        {"up to date", [] {}, 0},
        {"failed", [&] {
             fs::remove_all(DefaultTemplates());
             MakeDirectories(DefaultTemplates() + "settings.cfg");
             SetTime(DefaultTemplates() + "settings.cfg", kYear2001);
         }, 1},
        {"damaged kit", [&] { WriteFile(Kit(), "not a kit"); }, 2},
        {"no kit", [&] { fs::remove(Kit()); }, 2},
    };
    for (const Case& c : cases) {
        c.arrange();
        // The long options are found anywhere, before or after the switches.
        int status = -1;
        const Json document = RunForResult({"--exit-status", "/S"}, &status);
        EXPECT_EQ(status, c.status) << c.name << ": " << document.dump();
        // Without --exit-status the status stays 0 whatever happened.
        if (c.status != 0) {
            EXPECT_EQ(Run({"/S"}), 0) << c.name;
        }
    }
    WriteFile(Kit(), kitBytes);
    // -Lde ends the switch scan, so /S is not seen: an interactive run without
    // a display fails; --exit-status after it still counts.
    int status = -1;
    const Json document = RunForResult({"-Lde", "/S", "--exit-status"}, &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(document["outcome"], "failed");
    EXPECT_TRUE(document["message_key"].is_null());
}

TEST_F(Deploy, TerminatedWizardIsCancelled) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs the test display";
    if (RunProgram({"xdotool", "version"}) != 0) GTEST_SKIP() << "xdotool is not installed";
    MakeWholeSecondKit();
    Start({"--exit-status", "--result=" + Result()}, /*display=*/true);
    const std::string pid = std::to_string(child_->Pid());
    ASSERT_TRUE(WaitFor([&] { return RunProgram({"xdotool", "search", "--onlyvisible", "--pid", pid}) == 0; }, 30))
        << Errors();
    kill(child_->Pid(), SIGTERM);
    EXPECT_EQ(Finish(), 3);
    const Json document = Json::parse(ReadFile(Result()));
    EXPECT_EQ(document["outcome"], "cancelled");
    EXPECT_EQ(document["message_key"], "IDS_CANCEL_FINISH");
    EXPECT_FALSE(PathExists(DefaultTemplates()));
}

TEST_F(Deploy, DryRunTellsEveryEntryAndWritesNothing) {
    MakeWholeSecondKit();
    const std::string target = temp_.path("templates");
    RecordLocation(target);
    MakeDirectories(target + "/forms");
    WriteFile(target + "/forms/invoice.tpl", "an older invoice\n");
    SetTime(target + "/forms/invoice.tpl", kYear2001);
    WriteFile(target + "/settings.cfg", "the user's newer settings\n");
    SetTime(target + "/settings.cfg", kYear2020);
    MakeDirectories(target + "/doc/readme.html");  // a folder where a file goes
    // letter.tpl is missing: new.
    const std::string before = Snapshot(target);
    const std::string configBefore = ReadFile(MainConfig());
    struct stat rootBefore {};
    ASSERT_EQ(stat(target.c_str(), &rootBefore), 0);

    int status = -1;
    Json document = RunForResult({"/S", "--dry-run", "--exit-status"}, &status);
    EXPECT_EQ(Output(), "refuse\t" + target + "/doc/readme.html\ta folder stands where the file belongs\n"
                        "replace\t" + target + "/forms/invoice.tpl\n"
                        "new\t" + target + "/forms/letters/letter.tpl\n"
                        "keep\t" + target + "/settings.cfg\n");
    EXPECT_EQ(status, 1) << "the installation would fail on the refused entry";
    EXPECT_EQ(document["outcome"], "failed");
    EXPECT_EQ(document["dry_run"], true);
    ExpectFiles(document, 1, 1, 1);
    EXPECT_EQ(document["files"]["refused"], 1);

    EXPECT_EQ(Snapshot(target), before);
    struct stat rootAfter {};
    ASSERT_EQ(stat(target.c_str(), &rootAfter), 0);
    EXPECT_EQ(rootAfter.st_mtim.tv_sec, rootBefore.st_mtim.tv_sec);
    EXPECT_EQ(rootAfter.st_mtim.tv_nsec, rootBefore.st_mtim.tv_nsec) << "not even a probe file was made";
    EXPECT_EQ(ReadFile(MainConfig()), configBefore);
    EXPECT_TRUE(fs::is_empty(Tmp())) << "TMPDIR keeps nothing, not even a backup directory";

    // Without the folder in the way the dry run foretells a good installation,
    // and still writes nothing; the real run then does what was foretold.
    fs::remove_all(target + "/doc");
    const std::string clean = Snapshot(target);
    document = RunForResult({"--dry-run", "/S", "--exit-status"}, &status);  // order does not matter
    EXPECT_EQ(status, 0);
    EXPECT_EQ(document["outcome"], "installed");
    ExpectFiles(document, 2, 1, 1);
    EXPECT_EQ(Snapshot(target), clean);
    EXPECT_TRUE(fs::is_empty(Tmp()));
    document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "installed");
    ExpectFiles(document, 2, 1, 1);
}

TEST_F(Deploy, UnwritableResultFileIsReportedAndChangesNothingElse) {
    MakeWholeSecondKit();
    const std::string result = temp_.path("no-such-dir/result.json");
    EXPECT_EQ(Run({"/S", "--exit-status", "--result=" + result}), 0);
    EXPECT_NE(Errors().find("cannot write the result file"), std::string::npos) << Errors();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "settings.cfg"), "a=b\n") << "the installation went ahead";
    EXPECT_FALSE(PathExists(result));
    // A result file that exists is replaced whole; no temporary file stays beside it.
    WriteFile(Result(), "old");
    EXPECT_EQ(Run({"/S", "--result=" + Result()}), 0);
    EXPECT_EQ(Json::parse(ReadFile(Result()))["outcome"], "up-to-date");
    for (const auto& entry : fs::directory_iterator(temp_.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("result.json.", 0), std::string::npos) << entry.path();
    }
}

}  // namespace
