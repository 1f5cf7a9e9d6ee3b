// Unattended deployment with the real installer: the result document for
// every outcome, the exit status with and without --exit-status, and the dry
// run, which must leave the template directory and TMPDIR exactly as they were.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
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
    // The directory now comes from the launcher configuration, and reads the same.
    document = RunForResult({"/S", "-Lde"});
    EXPECT_EQ(document["outcome"], "up-to-date");
    EXPECT_EQ(document["template_directory"], DefaultTemplates()) << "the same form as on the first run";
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

// A --trusted-key that gives no usable key, in one word or two or with no
// value at all, refuses an unsigned kit: the policy is in force without keys.
TEST_F(Deploy, ATrustedKeyWithoutAUsableFileRefusesTheKit) {
    MakeWholeSecondKit();
    WriteFile(temp_.path("not-a-key.pub"), "untrusted comment: nothing\nRWQ=\n");
    const std::vector<std::vector<std::string>> forms = {
        {"--trusted-key=/nonexistent/k.pub"}, {"--trusted-key", "/nonexistent/k.pub"},
        {"--trusted-key", temp_.path("not-a-key.pub")}, {"--trusted-key", Home()},
        {"--trusted-key", "--dry-run"}, {"--trusted-key"}};
    for (const std::vector<std::string>& form : forms) {
        // The space form of --result too, before the key.
        std::vector<std::string> arguments = {"/S", "--exit-status", "--result", Result()};
        arguments.insert(arguments.end(), form.begin(), form.end());
        fs::remove(Result());
        const std::string what = form.size() == 2 ? form[0] + " " + form[1] : form[0];
        EXPECT_EQ(Run(arguments), 2) << what << ": " << Errors();
        const Json document = Json::parse(ReadFile(Result()));
        EXPECT_EQ(document["outcome"], "untrusted") << what;
        EXPECT_EQ(document["message_key"], "IDS_ERROR_UNTRUSTED_NOSIG") << what;
        EXPECT_FALSE(fs::exists(DefaultTemplates() + "settings.cfg")) << what;
        EXPECT_NE(Errors().find("vxk5-setup: warning: ignoring trusted key"), std::string::npos) << what << Errors();
    }
    EXPECT_NE(Errors().find("vxk5-setup: warning: --trusted-key needs a file name"), std::string::npos) << Errors();
}

// A home directory that is not there (HOME=/nonexistent is the home of many
// a system user), or that is no directory, is never made nor written below:
// the run fails before anything, and says why.
TEST_F(Deploy, AHomeDirectoryThatIsNotThereIsNeverMade) {
    MakeWholeSecondKit();
    WriteFile(temp_.path("plain-file"), "not a directory");
    for (const std::string& home : {temp_.path("gone") + "/home", temp_.path("plain-file")}) {
        for (const bool exitStatus : {true, false}) {
            environment_ = {"HOME=" + home};
            fs::remove(Result());
            std::vector<std::string> arguments = {"/S", "--result=" + Result()};
            if (exitStatus) arguments.push_back("--exit-status");
            Start(arguments, false);
            EXPECT_EQ(Finish(), exitStatus ? 1 : 0) << home << ": " << Errors();
            const Json document = Json::parse(ReadFile(Result()));
            EXPECT_EQ(document["outcome"], "failed") << home;
            EXPECT_EQ(document["message_key"], "IDS_ERROR_NOHOME") << home;
            EXPECT_NE(Errors().find("The home directory does not exist or is not a directory: " + home + "\n"),
                      std::string::npos)
                << Errors();
            EXPECT_FALSE(fs::exists(temp_.path("gone"))) << "nothing is made where the home directory would be";
            EXPECT_EQ(ReadFile(temp_.path("plain-file")), "not a directory");
            EXPECT_TRUE(Leftovers().empty());
        }
    }
}

// A killed run whose registry entry is lost: the next run finds its staging
// directory beside the template directory only as it begins to install,
// recovers it there, and says and counts it as a recovery at the start.
TEST_F(Deploy, ARecoveryTheInstallationFindsIsToldAndCountedAsOneAtTheStart) {
    WriteSampleTree(temp_.path("src"), 4000);
    MakeKit(temp_.path("src"));
    Start({"/S"}, false);
    std::string templates = DefaultTemplates();
    templates.pop_back();
    const size_t slash = templates.rfind('/');
    const std::string journal = templates.substr(0, slash) + "/.k5stp0-" + templates.substr(slash + 1) + "/journal";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!PathExists(journal) && std::chrono::steady_clock::now() < deadline) usleep(1000);
    ASSERT_TRUE(PathExists(journal)) << Errors();
    usleep(20 * 1000);  // well into the copy
    ASSERT_EQ(kill(child_->Pid(), SIGKILL), 0);
    int status = 0;
    EXPECT_FALSE(child_->Wait(20, status)) << "killed, not ended";
    child_.reset();
    ASSERT_TRUE(PathExists(journal)) << "killed before the commit";
    fs::remove_all(Home() + "/.vxk5/transactions");

    const Json document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "installed") << Errors();
    EXPECT_EQ(document["recovered_at_start"], 1) << document.dump();
    const std::string told =
        "An interrupted installation was found and cleaned up. Template directory: " + DefaultTemplates() + "\n";
    const std::string errors = Errors();
    ASSERT_NE(errors.find(told), std::string::npos) << errors;
    EXPECT_EQ(errors.find(told, errors.find(told) + 1), std::string::npos) << "told once: " << errors;
    EXPECT_EQ(Snapshot(DefaultTemplates()), Snapshot(temp_.path("src")));
    EXPECT_FALSE(PathExists(journal));
}

TEST_F(Deploy, UnknownLongOptionsAreToldOnceAndIgnored) {
    MakeWholeSecondKit();
    EXPECT_EQ(Run({"--frobnicate", "/S", "--exit-status", "--help=x"}), 0) << Errors();
    const std::string errors = Errors();
    const std::string warning = "vxk5-setup: warning: unknown option --frobnicate ignored\n";
    ASSERT_NE(errors.find(warning), std::string::npos) << errors;
    EXPECT_EQ(errors.find(warning, errors.find(warning) + 1), std::string::npos) << errors;
    EXPECT_NE(errors.find("vxk5-setup: warning: unknown option --help=x ignored\n"), std::string::npos) << errors;
    EXPECT_EQ(ReadFile(DefaultTemplates() + "settings.cfg"), "a=b\n");
}

// A trust policy: keys made and kits signed with Debian's minisign, the
// installer's peer; every refusal leaves the template directory as it was.
class SignedDeploy : public Deploy {
protected:
    void SetUp() override {
        if (RunProgram({"minisign", "-v"}) != 0) GTEST_SKIP() << "minisign is not installed";
    }
    // A key pair without a passphrase; its key id as the public key file's comment tells it.
    std::string NewKey(const std::string& name) {
        std::string output;
        EXPECT_EQ(RunProgram({"minisign", "-G", "-W", "-f", "-p", temp_.path(name + ".pub"), "-s",
                              temp_.path(name + ".key")}, &output), 0) << output;
        const std::string file = ReadFile(temp_.path(name + ".pub"));
        const std::string marker = "minisign public key ";
        return file.substr(file.find(marker) + marker.size(), file.find('\n') - file.find(marker) - marker.size());
    }
    void SignKit(const std::string& key, const std::string& comment = "release 1") {
        std::string output;
        ASSERT_EQ(RunProgram({"minisign", "-S", "-s", temp_.path(key + ".key"), "-m", Kit(), "-t", comment}, &output),
                  0) << output;
    }
    std::string Signature() const { return Kit() + ".minisig"; }
    std::string TrustKey(const std::string& key) const { return "--trusted-key=" + temp_.path(key + ".pub"); }
};

TEST_F(SignedDeploy, WithoutAPolicySignedAndUnsignedKitsInstallAsBefore) {
    MakeWholeSecondKit();
    NewKey("signer");
    Json document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "installed");
    EXPECT_TRUE(document["signature"].is_null());
    SignKit("signer");
    RemoveAll(DefaultTemplates());
    document = RunForResult({"/S"});
    EXPECT_EQ(document["outcome"], "installed");
    EXPECT_TRUE(document["signature"].is_null()) << "nothing was verified";
}

TEST_F(SignedDeploy, AKitSignedWithMinisignInstallsUnderAPolicy) {
    MakeWholeSecondKit();
    const std::string keyId = NewKey("signer");
    NewKey("other");
    SignKit("signer", "release 1 for the lab");
    int status = -1;
    // The option stands anywhere, repeated: one of the keys is the signer's.
    const Json document = RunForResult({TrustKey("other"), "/S", "--exit-status", TrustKey("signer")}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(document["outcome"], "installed") << document.dump();
    ExpectFiles(document, 4, 0, 0);
    ASSERT_TRUE(document["signature"].is_object()) << document.dump();
    EXPECT_EQ(document["signature"]["key_id"], keyId);
    EXPECT_EQ(document["signature"]["trusted_comment"], "release 1 for the lab");
    EXPECT_EQ(ReadFile(DefaultTemplates() + "settings.cfg"), "a=b\n");
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(SignedDeploy, EveryRefusalLeavesTheTemplateDirectoryAsItWas) {
    MakeWholeSecondKit();
    NewKey("signer");
    NewKey("stranger");
    const std::string kit = ReadFile(Kit());
    SignKit("signer");
    const std::string good = ReadFile(Signature());
    SignKit("stranger");
    const std::string strangers = ReadFile(Signature());
    // A signature of another kit by the trusted key.
    WriteFile(Kit(), kit + "x");
    SignKit("signer");
    const std::string otherKits = ReadFile(Signature());
    WriteFile(Kit(), kit);

    // The template directory holds an older copy the kit would replace.
    MakeDirectories(DefaultTemplates());
    WriteFile(DefaultTemplates() + "settings.cfg", "old=1\n");
    SetTime(DefaultTemplates() + "settings.cfg", kYear2001);
    const std::string before = Snapshot(DefaultTemplates());

    std::string commentAltered = good;
    commentAltered.replace(commentAltered.find("release 1"), 9, "release 2");
    const std::string keyFile = ReadFile(temp_.path("signer.pub"));
    const std::string keyLine = keyFile.substr(keyFile.find('\n') + 1);
    WriteFile(temp_.path("short.pub"), "untrusted comment: short\n" + keyLine.substr(4));
    WriteFile(temp_.path("garbled.pub"), "untrusted comment: garbled\n*" + keyLine.substr(1));
    auto flipped = [&](size_t at) {
        std::string bytes = kit;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string kit;
        std::string signature;  // empty: no signature file
        std::string key;
        const char* messageKey;
        const char* reason;  // in the message on standard error
    };
    const std::vector<Case> cases = {
        {"no signature", kit, "", "signer", "IDS_ERROR_UNTRUSTED_NOSIG", "vxk5.efd.minisig is missing"},
        {"first byte flipped", flipped(0), good, "signer", "IDS_ERROR_UNTRUSTED_MISMATCH", "does not match"},
        {"middle byte flipped", flipped(kit.size() / 2), good, "signer", "IDS_ERROR_UNTRUSTED_MISMATCH", "does not match"},
        {"last byte flipped", flipped(kit.size() - 1), good, "signer", "IDS_ERROR_UNTRUSTED_MISMATCH", "does not match"},
        {"signature of another kit", kit, otherKits, "signer", "IDS_ERROR_UNTRUSTED_MISMATCH", "does not match"},
        {"another key", kit, strangers, "signer", "IDS_ERROR_UNTRUSTED_KEYID", "unknown key id"},
        {"truncated signature", kit, good.substr(0, good.size() / 2), "signer", "IDS_ERROR_UNTRUSTED_BADSIG", "damaged"},
        {"garbled signature", kit, "garbage\n", "signer", "IDS_ERROR_UNTRUSTED_BADSIG", "damaged"},
        {"trusted comment altered", kit, commentAltered, "signer", "IDS_ERROR_UNTRUSTED_MISMATCH", "does not match"},
        {"key of a bad length", kit, good, "short", "IDS_ERROR_UNTRUSTED_KEYID", "unknown key id"},
        {"key not base64", kit, good, "garbled", "IDS_ERROR_UNTRUSTED_KEYID", "unknown key id"},
    };
    for (const Case& c : cases) {
        WriteFile(Kit(), c.kit);
        fs::remove(Signature());
        if (!c.signature.empty()) WriteFile(Signature(), c.signature);
        int status = -1;
        const Json document = RunForResult({"/S", TrustKey(c.key), "--exit-status"}, &status);
        EXPECT_EQ(status, 2) << c.what;
        EXPECT_EQ(document["outcome"], "untrusted") << c.what;
        EXPECT_EQ(document["message_key"], c.messageKey) << c.what;
        EXPECT_TRUE(document["signature"].is_null()) << c.what;
        EXPECT_NE(Errors().find(c.reason), std::string::npos) << c.what << ": " << Errors();
        EXPECT_EQ(Snapshot(DefaultTemplates()), before) << c.what;
        EXPECT_TRUE(Leftovers().empty()) << c.what;
    }
    // The unusable key files were told about.
    EXPECT_NE(Errors().find("garbled.pub"), std::string::npos) << Errors();

    // The good signature still installs: the refusals were the policy's doing.
    WriteFile(Kit(), kit);
    WriteFile(Signature(), good);
    const Json document = RunForResult({"/S", TrustKey("signer")});
    EXPECT_EQ(document["outcome"], "installed") << document.dump();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "settings.cfg"), "a=b\n");
}

}  // namespace

TEST_F(Deploy, UninstallTakesTheLatestInstallationBackAndSaysWhatItDid) {
    MakeWholeSecondKit();
    ASSERT_EQ(RunForResult({"/S"})["outcome"], "installed");
    ASSERT_NE(ReadFile(MainConfig()).find("tmplts"), std::string::npos);
    const std::string edited = DefaultTemplates() + "settings.cfg";
    WriteFile(edited, ReadFile(edited) + "# the user's own line\n");
    const std::string installed = Snapshot(DefaultTemplates());

    // The dry run says what would go and what stays, and changes nothing.
    int status = -1;
    Json document = RunForResult({"--uninstall", "--dry-run", "--exit-status"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(document["outcome"], "uninstalled");
    EXPECT_EQ(document["dry_run"], true);
    EXPECT_EQ(document["uninstall"]["removed"], 3) << document.dump();
    EXPECT_NE(Output().find("keep-changed " + edited + "\n"), std::string::npos) << Output();
    EXPECT_NE(Output().find("remove " + DefaultTemplates() + "doc/readme.html\n"), std::string::npos) << Output();
    EXPECT_EQ(Snapshot(DefaultTemplates()), installed);

    // The real one, with the directory named.
    document = RunForResult({"--uninstall=" + DefaultTemplates(), "--exit-status"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(document["outcome"], "uninstalled") << document.dump();
    EXPECT_EQ(document["template_directory"], DefaultTemplates());
    EXPECT_EQ(document["uninstall"]["removed"], 3);
    EXPECT_EQ(document["uninstall"]["kept_changed"], Json::array({edited}));
    EXPECT_EQ(document["uninstall"]["template_directory_removed"], false);
    EXPECT_TRUE(document["uninstall"]["installed_at"].get<std::string>().size() == 20) << document.dump();
    EXPECT_TRUE(fs::exists(edited));
    EXPECT_FALSE(fs::exists(DefaultTemplates() + "doc"));
    EXPECT_NE(Output().find("uninstalled " + DefaultTemplates() + ": 3 removed, 0 restored, 1 kept"),
              std::string::npos)
        << Output();

    document = RunForResult({"--uninstall", "--exit-status"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(document["outcome"], "nothing-to-uninstall");

    // A directory the installation made goes when nothing is left in it, and
    // the launcher no longer names it.
    fs::remove(edited);
    fs::remove(DefaultTemplates());
    ASSERT_EQ(RunForResult({"/S"})["outcome"], "installed");
    document = RunForResult({"--uninstall", "--exit-status"}, &status);
    EXPECT_EQ(document["uninstall"]["template_directory_removed"], true) << document.dump();
    EXPECT_FALSE(fs::exists(DefaultTemplates()));
    EXPECT_EQ(ReadFile(MainConfig()).find("tmplts"), std::string::npos) << ReadFile(MainConfig());
    EXPECT_TRUE(Leftovers().empty());

    // An older file of the user's that the installation replaced comes back
    // with the uninstall, and the result says what was kept for it.
    fs::create_directories(DefaultTemplates());
    WriteFile(edited, "the user's\n");
    SetTime(edited, kYear2010 - 1000);
    document = RunForResult({"/S"});
    EXPECT_EQ(document["files"]["replaced"], 1) << document.dump();
    EXPECT_EQ(document["originals_kept_bytes"], 11);
    document = RunForResult({"--uninstall", "--exit-status"}, &status);
    EXPECT_EQ(document["uninstall"]["restored"], 1) << document.dump();
    EXPECT_EQ(ReadFile(edited), "the user's\n");
    EXPECT_TRUE(Leftovers().empty());
}
