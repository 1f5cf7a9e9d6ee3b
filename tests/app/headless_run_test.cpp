// The real installer without a display: a silent run installs with its
// messages on standard error; an interactive run says it needs a display.
// Every run ends with exit status 0 and leaves no unpacked kit behind.

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/conversion.h"
#include "installer_run.h"
#include "kit/container_encoder.h"
#include "kit/kit_writer.h"
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
    MakeDirectories(target);  // a location is offered only when a file can be made in it
    MakeDirectories(Home() + "/.Vx/vxlstart");
    WriteFile(MainConfig(), "ConfigurationTemplatesLocation=file://" + target + "\r\n");
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(target + "/forms/invoice.tpl"), "invoice template\n");
    EXPECT_FALSE(PathExists(DefaultTemplates()));
    EXPECT_EQ(ReadFile(MainConfig()).rfind("ConfigurationTemplatesLocation=" + target + "\n", 0), 0u)
        << "the installed directory comes first: " << ReadFile(MainConfig());
}

TEST_F(Headless, RecordedHomeRelativeLocationIsInstalledIntoUnderHome) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    RecordLocation("~/recorded");
    MakeDirectories(Home() + "/recorded");
    Start({"/S"}, false, temp_.path("app"));
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(Home() + "/recorded/forms/invoice.tpl"), "invoice template\n");
    EXPECT_FALSE(PathExists(DefaultTemplates()));
    EXPECT_FALSE(PathExists(temp_.path("app/~")));
    EXPECT_EQ(ReadFile(MainConfig()), "ConfigurationTemplatesLocation=" + Home() + "/recorded\n")
        << "recorded once, as an absolute path";
}

TEST_F(Headless, FailedInstallNamesTheFileAndTheReason) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    // A regular file stands where the kit needs the directory "forms".
    const std::string target = temp_.path("existing");
    MakeDirectories(target);
    WriteFile(target + "/forms", "not a directory");
    RecordLocation(target);
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    const std::string errors = Errors();
    const size_t box = errors.find("Installation error\n");
    ASSERT_NE(box, std::string::npos) << errors;
    const std::string detail = errors.substr(box + 19, errors.find('\n', box + 19) - (box + 19));
    EXPECT_EQ(detail.rfind(target + "/forms", 0), 0u) << "the path concerned comes next: " << errors;
    EXPECT_NE(detail.find(": "), std::string::npos) << "with the system's reason: " << errors;
}

// The probe makes its file in the location itself: a web address, a location
// that does not exist and one that is a file are passed over, and the first
// location that can hold a file is taken.
TEST_F(Headless, LocationsThatCannotHoldAFileArePassedOver) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    const std::string usable = temp_.path("usable");
    MakeDirectories(usable);
    WriteFile(temp_.path("plain-file"), "x");
    MakeDirectories(Home() + "/.Vx/vxlstart");
    WriteFile(MainConfig(), "ConfigurationTemplatesLocation=http://example.com/templates\n"
                            "ConfigurationTemplatesLocation=" + temp_.path("missing") + "\n"
                            "ConfigurationTemplatesLocation=" + temp_.path("plain-file") + "\n"
                            "ConfigurationTemplatesLocation=" + usable + "\n");
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(usable + "/forms/invoice.tpl"), "invoice template\n");
    EXPECT_FALSE(PathExists(temp_.path("missing")));
    EXPECT_EQ(ReadFile(temp_.path("plain-file")), "x");
    EXPECT_EQ(Snapshot(temp_.path("app")).find("forms"), std::string::npos) << "nothing lands in a relative path";
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(Headless, RecordedWebAddressAloneGivesTheDefaultDirectory) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    RecordLocation("http://example.com/templates");
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/invoice.tpl"), "invoice template\n");
    EXPECT_EQ(Snapshot(temp_.path("app")).find("forms"), std::string::npos) << "nothing lands in a relative path";
    EXPECT_TRUE(Leftovers().empty());
}

// A FIFO named vxk5.efd has no end: the installer must neither wait for a
// writer nor read it. Finish's time-out catches a hang.
TEST_F(Headless, FifoAsTheKitIsReportedAsMissing) {
    ASSERT_EQ(mkfifo(Kit().c_str(), 0600), 0);
    Start({"/S"}, false);
    ASSERT_EQ(Finish(20), 0);
    EXPECT_EQ(Errors(), "Distribution kit file vxk5.efd not found.\n");
    EXPECT_TRUE(Leftovers().empty());
}

// A configuration in UTF-16 cannot be read as key=value bytes: the
// installation succeeds and the file stays as it was, byte for byte.
TEST_F(Headless, Utf16ConfigurationIsLeftByteIdentical) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    MakeDirectories(Home() + "/.Vx/vxlstart");
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string("DefaultVersion=8.3\r\nCommonInfoBases=/srv/b\r\n")) utf16 += std::string{c, '\0'};
    WriteFile(MainConfig(), utf16);
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/invoice.tpl"), "invoice template\n");
    EXPECT_EQ(ReadFile(MainConfig()), utf16);
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
    // 100 KB: even stored, it cannot inflate to less than 64 KB.
    std::mt19937 random(7);
    std::string bytes(100000, '\0');
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

// A kit whose files' bytes follow one another has its data area inflated
// straight into the files: a temporary directory that could never hold its
// container, but holds its file table, is no obstacle. The same files listed
// against the order of their bytes still need the room there, and are refused.
TEST_F(Headless, TemporaryRoomIsNeededOnlyForAKitThatGoesThroughItsContainer) {
    const std::string tiny = temp_.path("tiny");
    TinyTmpfs tmpfs(tiny, "8m");
    if (!tmpfs.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    std::mt19937 random(11);
    std::string first(12 << 20, '\0');
    std::string second(12 << 20, '\0');
    for (char& c : first) c = static_cast<char>(random());
    for (char& c : second) c = static_cast<char>(random());
    const auto install = [&](bool reversed) {
        std::vector<vxk5::KitFileEntry> entries = {
            {u"first.bin", 0x157AA007u, 0x01D710B4u, 0, static_cast<uint32_t>(first.size())},
            {u"second.bin", 0x157AA007u, 0x01D710B4u, static_cast<uint32_t>(first.size()),
             static_cast<uint32_t>(second.size())}};
        if (reversed) std::swap(entries[0], entries[1]);
        const std::string container = vxk5::kitformat::EncodeContainerHead(
                                          vxk5::kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
                                          entries) +
                                      first + second;
        EXPECT_EQ(vxk5::WriteKitFile(vxk5::FromMultiByte(vxk5::AString(Kit().c_str())), container, 1), 0u);
        std::vector<std::string> argv = {AppDir() + "/vxk5-setup", "/S"};
        ChildProcess child(argv, {"HOME=" + Home(), "TMPDIR=" + tiny, "PATH=/usr/bin:/bin"}, "",
                           temp_.path("stderr"));
        int status = -1;
        EXPECT_TRUE(child.Wait(120, status));
        EXPECT_EQ(status, 0);
    };
    install(false);
    EXPECT_NE(Errors().find("Configuration installed successfully.\n"), std::string::npos) << Errors();
    EXPECT_EQ(Errors().find("Insufficient space"), std::string::npos) << Errors();
    EXPECT_TRUE(ReadFile(DefaultTemplates() + "first.bin") == first);
    EXPECT_TRUE(ReadFile(DefaultTemplates() + "second.bin") == second);
    EXPECT_TRUE(std::filesystem::is_empty(tiny)) << "nothing is left in the temporary directory";

    std::filesystem::remove_all(DefaultTemplates());
    install(true);
    EXPECT_EQ(Errors(), "Insufficient space available in the directory Temp.\n");
    EXPECT_FALSE(PathExists(DefaultTemplates() + "first.bin"));
    EXPECT_TRUE(std::filesystem::is_empty(tiny));
}

TEST_F(Headless, TemporaryDirectoryFillingUpWhileUnpackingIsReportedAsLackOfSpace) {
    // The kit passes the check made before unpacking (its 20 KB fit into
    // 2 MB) but inflates to 8 MB: the file system fills up on the way.
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

namespace {

// The real program killed with SIGKILL in the middle of its copy; the next
// start finds its journal, undoes the half-made installation, says so, and
// installs the whole kit.
TEST_F(Headless, KilledInstallerIsUndoneAtTheNextStartWhichThenInstallsEverything) {
    WriteSampleTree(temp_.path("src"), 4000);
    MakeKit(temp_.path("src"));
    Start({"/S"}, false);
    // The journal exists from before the first change to the commit, in the
    // staging directory beside the template directory.
    std::string templates = DefaultTemplates();
    while (templates.size() > 1 && templates.back() == '/') templates.pop_back();
    const size_t slash = templates.rfind('/');
    const std::string journal =
        templates.substr(0, slash) + "/.k5stp0-" + templates.substr(slash + 1) + "/journal";
    // Registered too, as it is before the first change: the next start finds
    // it wherever TMPDIR points and says so.
    const std::string registry = Home() + "/.vxk5/transactions";
    auto registered = [&registry] {
        std::error_code error;
        return std::filesystem::exists(registry, error) && !std::filesystem::is_empty(registry, error);
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((!PathExists(journal) || !registered()) && std::chrono::steady_clock::now() < deadline) {
        usleep(1000);
    }
    ASSERT_TRUE(PathExists(journal)) << Errors();
    ASSERT_TRUE(registered()) << Errors();
    usleep(20 * 1000);  // well into the copy
    ASSERT_EQ(kill(child_->Pid(), SIGKILL), 0);
    int status = 0;
    EXPECT_FALSE(child_->Wait(20, status)) << "killed, not ended";
    child_.reset();
    ASSERT_TRUE(PathExists(journal)) << "killed before the commit";

    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    const std::string errors = Errors();
    EXPECT_NE(errors.find("An interrupted installation was found and cleaned up. Template directory: " +
                          DefaultTemplates()),
              std::string::npos)
        << errors;
    EXPECT_EQ(Snapshot(DefaultTemplates()), Snapshot(temp_.path("src")));
    for (const std::string& name : Leftovers()) {
        EXPECT_NE(name.rfind("k5stp", 0), 0u) << name;
        EXPECT_NE(name.rfind("edf", 0), 0u) << name << ": the killed run's unpacked kit has no name to stay under";
    }
    EXPECT_FALSE(PathExists(journal));
}

}  // namespace

namespace {

// A failed silent run says on standard error which entry stopped it and why,
// in the system's words, and leaves the template directory as it was.
TEST_F(Headless, FailedSilentRunNamesTheEntryAndTheSystemsReason) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    MakeDirectories(DefaultTemplates() + "settings.cfg/inner");
    const std::string before = Snapshot(DefaultTemplates());
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    const std::string errors = Errors();
    EXPECT_NE(errors.find("\n" + DefaultTemplates() + "settings.cfg: Is a directory\n"), std::string::npos)
        << errors;
    EXPECT_EQ(Snapshot(DefaultTemplates()), before);
    for (const std::string& name : Leftovers()) ADD_FAILURE() << "left in the temporary directory: " << name;
}

}  // namespace

namespace {

// A kit whose stored offset wraps past 4 GiB once the data area's start is
// added would point into its own file table; one whose bytes run past the
// container's end has nothing to give. Both are damaged: the run says so and
// the template directory stays exactly as it was.
TEST_F(Headless, KitWithWrappingOrOutsideOffsetsIsDamagedAndChangesNothing) {
    const std::string templates = DefaultTemplates();
    MakeDirectories(templates + "sub");
    WriteFile(templates + "a.txt", "the user's own a.txt\n");
    WriteFile(templates + "sub/b.txt", "b\n");
    const std::string before = Snapshot(templates);
    for (const uint32_t offset : {0xFFFFFFF0u, 3u}) {
        std::string container = vxk5::kitformat::EncodeContainerHead(
            vxk5::kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
            {{u"sub\\b.txt", 0x157AA007u, 0x01D710B4u, 0, 4}, {u"a.txt", 0x157AA007u, 0x01FF0000u, offset, 8}});
        container += "new!data";
        ASSERT_EQ(vxk5::WriteKitFile(vxk5::FromMultiByte(vxk5::AString(Kit().c_str())), container), 0u);
        Start({"/S"}, false);
        ASSERT_EQ(Finish(), 0);
        EXPECT_EQ(Errors(),
                  "Distribution kit file vxk5.efd corrupted or not designed for this installation program.\n")
            << offset;
        EXPECT_EQ(Snapshot(templates), before) << offset;
        EXPECT_TRUE(Leftovers().empty()) << offset;
        EXPECT_FALSE(PathExists(MainConfig()));
    }
}

// The space check counts in 64 bits and asks for what the unpacked kit needs
// at least, not three times the kit: a kit of 1.6 GB (a small stream followed
// by a sparse tail, which the installer never reads) installs where the
// temporary directory has the room, where three times it would have wrapped
// or saturated the old 32-bit count.
TEST_F(Headless, KitOver1Point5GBIsAcceptedWhenTheSpaceIsThere) {
    struct statvfs status {};
    ASSERT_EQ(statvfs(Tmp().c_str(), &status), 0);
    const unsigned long long freeBytes = static_cast<unsigned long long>(status.f_frsize) * status.f_bfree;
    constexpr off_t kKitSize = 1600LL * 1000 * 1000;
    if (freeBytes < 2ULL * kKitSize) GTEST_SKIP() << "the temporary directory has less than 3.2 GB free";
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    ASSERT_EQ(truncate(Kit().c_str(), kKitSize), 0);  // sparse: takes no space
    Start({"/S"}, false);
    ASSERT_EQ(Finish(), 0) << Errors();
    EXPECT_EQ(Errors().find("Insufficient space"), std::string::npos) << Errors();
    EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/letters/letter.tpl"), "letter template\n");
}

}  // namespace
