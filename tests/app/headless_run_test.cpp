// The real installer without a display: a silent run installs with its
// messages on standard error; an interactive run says it needs a display.
// Every run ends with exit status 0 and leaves no unpacked kit behind.

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "installer_run.h"
#include "tests/support/tiny_tmpfs.h"

namespace {

using Headless = InstallerRun;

TEST_F(Headless, SilentRunInstallsIntoTheProposedDirectoryAndRecordsIt) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({"/S"}, /*display=*/false);
    ASSERT_EQ(Finish(), 0) << Errors();

    EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/letters/letter.tpl"), "letter template\n");
    EXPECT_EQ(ReadFile(DefaultTemplates() + "doc/readme.html"), ReadFile(temp_.path("src/doc/readme.html")));
    const std::string config = ReadFile(MainConfig());
    EXPECT_NE(config.find("ConfigurationTemplatesLocation=" + Home() + "/.vxk5/Vx/vxk5/tmplts\n"),
              std::string::npos)
        << config;
    const std::string errors = Errors();
    EXPECT_NE(errors.find("Files being copied... 0 %\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Copying complete... 100 %\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Configuration installed successfully.\n"), std::string::npos) << errors;
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_EQ(Opened(), "") << "a silent run opens nothing";
}

TEST_F(Headless, RecordedFileAddressWithCrLfIsInstalledInto) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    const std::string target = temp_.path("recorded");
    MakeDirectories(Home() + "/.Vx/vxlstart");
    WriteFile(MainConfig(), "ConfigurationTemplatesLocation=file://" + target + "\r\n");
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(target + "/forms/invoice.tpl"), "invoice template\n");
    EXPECT_FALSE(PathExists(DefaultTemplates()));
    EXPECT_EQ(ReadFile(MainConfig()).rfind("ConfigurationTemplatesLocation=" + target + "\n", 0), 0u)
        << "the installed directory comes first: " << ReadFile(MainConfig());
}

TEST_F(Headless, RecordedWebAddressIsNoDirectoryForASilentRun) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    RecordLocation("http://example.com/templates");
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Errors(), "Installation of templates to the current directory is not supported.\n");
    EXPECT_EQ(Snapshot(temp_.path("app")).find("forms"), std::string::npos) << "nothing lands in a relative path";
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(Headless, MissingKitIsReported) {
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Errors(), "Distribution kit file vxk5.efd not found.\n");
    EXPECT_FALSE(PathExists(DefaultTemplates()));
}

TEST_F(Headless, KitInTheCurrentDirectoryIsNotLookedForWithoutUsecwd) {
    // The program's own directory has no kit; usecwd is not given.
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    std::rename(Kit().c_str(), temp_.path("vxk5.efd").c_str());
    Start({"/S", "usecwd"}, false);  // usecwd only counts as the first argument
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Errors(), "Distribution kit file vxk5.efd not found.\n");
}

TEST_F(Headless, UsecwdTakesTheKitFromTheCurrentDirectoryOnly) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    const std::string work = temp_.path("work");
    MakeDirectories(work);
    std::rename(Kit().c_str(), (work + "/vxk5.efd").c_str());
    Start({"usecwd", "/S"}, false, work);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/invoice.tpl"), "invoice template\n");

    // Beside the program only: usecwd does not look there.
    std::rename((work + "/vxk5.efd").c_str(), Kit().c_str());
    Start({"usecwd", "/S"}, false, work);
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Errors(), "Distribution kit file vxk5.efd not found.\n");
}

TEST_F(Headless, DamagedKitIsReportedAndNothingIsLeftBehind) {
    WriteFile(Kit(), std::string("\x07 this is not a deflate stream at all", 37));
    Start({"-s"}, false);
    ASSERT_EQ(Finish(), 0);
    EXPECT_EQ(Errors(),
              "Distribution kit file vxk5.efd corrupted or not designed for this installation program.\n");
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_FALSE(PathExists(MainConfig()));
}

TEST_F(Headless, LackOfTemporarySpaceIsReported) {
    const std::string tiny = temp_.path("tiny");
    TinyTmpfs tmpfs(tiny, "64k");
    if (!tmpfs.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    // 30 KB: three times that exceeds 64 KB.
    std::mt19937 random(7);
    std::string bytes(30000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    WriteFile(Kit(), bytes);
    std::vector<std::string> argv = {AppDir() + "/vxk5-setup", "/S"};
    ChildProcess child(argv, {"HOME=" + Home(), "TMPDIR=" + tiny, "PATH=/usr/bin:/bin"}, "",
                       temp_.path("stderr"));
    int status = -1;
    ASSERT_TRUE(child.Wait(60, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Errors(), "Insufficient space available in the directory Temp.\n");
}

TEST_F(Headless, TemporaryDirectoryFillingUpWhileUnpackingIsReportedAsLackOfSpace) {
    // The kit passes the check made before unpacking (three times 20 KB fit
    // into 2 MB) but inflates to 8 MB: the file system fills up on the way.
    const std::string tiny = temp_.path("tiny");
    TinyTmpfs tmpfs(tiny, "2m");
    if (!tmpfs.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    WriteSampleTree(temp_.path("src"));
    WriteFile(temp_.path("src/big.txt"), std::string(8 << 20, 'x'));
    MakeKit(temp_.path("src"));
    std::vector<std::string> argv = {AppDir() + "/vxk5-setup", "/S"};
    ChildProcess child(argv, {"HOME=" + Home(), "TMPDIR=" + tiny, "PATH=/usr/bin:/bin"}, "",
                       temp_.path("stderr"));
    int status = -1;
    ASSERT_TRUE(child.Wait(60, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Errors(), "Insufficient space available in the directory Temp.\n");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(tiny)) left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>()) << "the partial container is removed";
    EXPECT_FALSE(PathExists(MainConfig()));
}

TEST_F(Headless, InteractiveRunWithoutADisplaySaysSoAndEnds) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Start({}, false);
    ASSERT_EQ(Finish(), 0);
    const std::string errors = Errors();
    EXPECT_NE(errors.find("display"), std::string::npos) << errors;
    EXPECT_NE(errors.find("/S"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_FALSE(PathExists(DefaultTemplates()));
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(Headless, TerminationDuringCopyingWaitsForACompleteInstall) {
    WriteSampleTree(temp_.path("src"), 300);
    MakeKit(temp_.path("src"));
    Start({"/S"}, false);
    // Once copying has begun, SIGTERM must not cut the installation short.
    ASSERT_TRUE(WaitFor([&] { return Errors().find("Files being copied") != std::string::npos; }, 60)) << Errors();
    kill(child_->Pid(), SIGTERM);
    ASSERT_EQ(Finish(), 0) << "the run ends normally after the copy";
    EXPECT_TRUE(ReadFile(DefaultTemplates() + "bulk/file299.tpl") == std::string(4096, 'a' + 299 % 26))
        << "the last file is there in full";
    EXPECT_NE(ReadFile(MainConfig()).find("ConfigurationTemplatesLocation="), std::string::npos);
    EXPECT_TRUE(Leftovers().empty()) << "the unpacked kit is deleted on the way out";
}

}  // namespace
