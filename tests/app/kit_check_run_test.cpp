// The real installer and the check after a kit's deflate stream: a checked
// kit installs and says so, a kit made before kits carried a check installs
// as ever and says it was unchecked, and a kit with one bit flipped where its
// stream still inflates to the same length is refused, whether the damage is
// met while the kit is prepared or only once its data area is unpacked during
// the copy: nothing changes, and the result document tells the damage.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "installer_run.h"
#include "kit/kit_trailer.h"
#include "tests/support/deflate_flips.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using vxk5::kitformat::kTrailerSize;

// Text in words, different for every variant, that deflate compresses about
// three to one.
std::string Words(size_t size, uint32_t variant) {
    static const char* const kWords[] = {"panel ", "launcher ", "Exec=", "true\n", "size=", "clock ", "#fff;",
                                         "Name=", "Icon=", "editor ", "[Desktop Entry]\n", "24 "};
    std::string text;
    uint32_t state = variant;
    while (text.size() < size) {
        state = state * 1103515245u + 12345u;
        text += kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
        if ((state >> 8) % 5 == 0) text += std::to_string(state % 1000);
    }
    text.resize(size);
    return text;
}

class KitCheckRun : public InstallerRun {
protected:
    std::string Result() const { return temp_.path("result.json"); }

    // Runs a silent installation with --exit-status and --result; the exit
    // status, and the document in `document`.
    int Install(Json& document) {
        fs::remove(Result());
        Start({"/S", "--exit-status", "--result=" + Result()}, false);
        const int status = Finish();
        document = Json::parse(ReadFile(Result()));
        return status;
    }

    // A user's template directory with one file of their own and an old copy
    // of one the kit carries; what it holds before the run.
    std::string UsersTemplates() {
        MakeDirectories(DefaultTemplates() + "forms");
        WriteFile(DefaultTemplates() + "mine.tpl", "the user's own\n");
        WriteFile(DefaultTemplates() + "forms/invoice.tpl", "an old invoice\n");
        fs::last_write_time(DefaultTemplates() + "forms/invoice.tpl",
                            fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
        return Snapshot(DefaultTemplates());
    }

    // The kit with one bit flipped, found among the stream's last `searched`
    // bytes, where it still inflates to a container of the same length.
    std::string FlippedKit(size_t searched) {
        const std::string kit = ReadFile(Kit());
        const size_t streamLength = kit.size() - kTrailerSize;
        const size_t from = streamLength > searched ? 8 * (streamLength - searched) : 0;
        const std::vector<size_t> flips = SameLengthFlips(kit, streamLength, from, 1);
        EXPECT_FALSE(flips.empty());
        return flips.empty() ? kit : FlipBit(kit, flips.front());
    }

    void ExpectNothingChanged(const std::string& before, const Json& document) {
        EXPECT_EQ(Snapshot(DefaultTemplates()), before);
        EXPECT_FALSE(PathExists(MainConfig()));
        EXPECT_EQ(document["recorded_in_launcher_configuration"], false);
        EXPECT_EQ(document["files"]["new"], 0);
        EXPECT_EQ(document["files"]["replaced"], 0);
        for (const std::string& name : Leftovers()) ADD_FAILURE() << "left in the temporary directory: " << name;
        EXPECT_NE(Errors().find("Distribution kit file vxk5.efd corrupted or not designed for this installation "
                                "program."),
                  std::string::npos)
            << Errors();
    }
};

}  // namespace

TEST_F(KitCheckRun, KitsWithAndWithoutTheirCheckInstallAndSayWhich) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    Json document;
    EXPECT_EQ(Install(document), 0) << Errors();
    EXPECT_EQ(document["outcome"], "installed");
    EXPECT_EQ(document["integrity"], "checked");

    // The kit as the kit tool made it before kits carried a check, and then
    // with bytes after its stream that are no check: both as ever.
    const std::string kit = ReadFile(Kit());
    const std::string old = kit.substr(0, kit.size() - kTrailerSize);
    for (const std::string& bytes : {old, old + std::string(100, '\x5a')}) {
        RemoveAll(DefaultTemplates());
        RemoveAll(MainConfig());
        WriteFile(Kit(), bytes);
        EXPECT_EQ(Install(document), 0) << Errors();
        EXPECT_EQ(document["outcome"], "installed");
        EXPECT_EQ(document["integrity"], "unchecked");
        EXPECT_EQ(ReadFile(DefaultTemplates() + "forms/invoice.tpl"), "invoice template\n");
    }
}

// A small kit is unpacked whole while the run is prepared: the damage is
// found before any change, as for any kit that cannot be read.
TEST_F(KitCheckRun, ASmallKitThatNoLongerMatchesItsCheckIsRefusedBeforeAnyChange) {
    WriteSampleTree(temp_.path("src"));
    MakeKit(temp_.path("src"));
    WriteFile(Kit(), FlippedKit(SIZE_MAX));
    const std::string before = UsersTemplates();
    Json document;
    EXPECT_EQ(Install(document), 2) << "a damaged kit: " << Errors();
    EXPECT_EQ(document["outcome"], "no-kit");
    EXPECT_EQ(document["message_key"], "IDS_ERROR_DAMAGEDSOURCE");
    EXPECT_EQ(document["integrity"], "damaged");
    ExpectNothingChanged(before, document);
}

// A large kit's data area is unpacked while its files are written: the
// damage, at the stream's end, is found once every file has been written,
// before the commit, and the installation is rolled back.
TEST_F(KitCheckRun, ALargeKitThatNoLongerMatchesItsCheckIsRolledBack) {
    const std::string source = temp_.path("src");
    WriteSampleTree(source);
    for (uint32_t i = 0; i < 3; ++i) WriteFile(source + "/large" + std::to_string(i) + ".tpl", Words(3u << 20, i + 1));
    MakeKit(source);
    WriteFile(Kit(), FlippedKit(4096));
    const std::string before = UsersTemplates();
    Json document;
    EXPECT_EQ(Install(document), 1) << "a failed installation: " << Errors();
    EXPECT_EQ(document["outcome"], "failed");
    EXPECT_EQ(document["message_key"], "IDS_ERROR_FINISH");
    EXPECT_NE(document["error_code"], 0);
    EXPECT_EQ(document["integrity"], "damaged");
    ExpectNothingChanged(before, document);
}
