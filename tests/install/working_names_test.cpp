// What the job keeps for itself beside and inside the template directory
// (staging directories, working names) is told from what others put there by
// proof only: their names alone never make another's file or directory the
// job's to remove.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "base/conversion.h"
#include "install/reserved_names.h"
#include "kit/kit_reader.h"
#include "platform/fault_injection.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;   // 2001
constexpr int64_t kNew = 1262304000;  // 2010

class WorkingNameTest : public InstallTest {
protected:
    // A private directory (0700) holding `files` (each 0600), as a user
    // keeps one, or as a kit installed one under umask 077.
    void PrivateDirectory(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files) {
        MakeDirectories(path);
        ASSERT_EQ(::chmod(path.c_str(), 0700), 0);
        for (const auto& [name, bytes] : files) {
            WriteFile(path + "/" + name, bytes);
            ASSERT_EQ(::chmod((path + "/" + name).c_str(), 0600), 0);
        }
    }
    // A kit whose second entry runs past the end of its container: the job
    // fails after writing the first and rolls back.
    void FailingKit() {
        ResetKit();
        AddEntry("a.txt", "a", TimeAt(kNew));
        BuildKit();
        std::vector<KitFileEntry> entries = kit().Entries();
        KitFileEntry torn = entries[0];
        torn.name = FromMultiByte(AString("torn.txt"));
        torn.size = 4 + 3 * kKitCopyBufferSize;
        entries.push_back(torn);
        SetEntries(std::move(entries));
    }
};

TEST(ReservedNames, EveryNumberOfEveryFormAndNothingElse) {
    for (const char* name : {".k5stp0", ".k5stp12", ".k5stp0-t", ".k5stp3-", ".k5stp1-a-b", ".k5stp1.0", ".k5stp7.123",
                             ".k5kept", ".k5kept-t", ".k5kept-"}) {
        EXPECT_TRUE(IsReservedName(name)) << name;
    }
    for (const char* name : {".k5stp", ".k5stpx", ".k5stp-1", ".k5stp0.", ".k5stp0.x", ".k5stp0.1a", "k5stp0",
                             "x.k5stp0", ".K5STP0", ".k5stp0x", ".k5keptx", ".k5kep", "k5kept"}) {
        EXPECT_FALSE(IsReservedName(name)) << name;
    }
    EXPECT_TRUE(HasReservedComponent("a/.k5stp2/b.txt"));
    EXPECT_TRUE(HasReservedComponent("a/b/.k5stp2.9"));
    EXPECT_FALSE(HasReservedComponent("a/.k5stp/b.k5stp2.9"));
}

// A template an older kit installed under a working name's form, and
// someone else's private directories named like staging directories beside
// and inside the template directory (one with a "journal" that is none): a
// failing job, and three later ones, leave every one of them as it was,
// whether the job's working names happen to meet the template's or not.
TEST_F(WorkingNameTest, LookAlikesOfTheJobsNamesAreNeverTouched) {
    for (const bool drawn : {true, false}) {
        SCOPED_TRACE(drawn ? "working names drawn at random" : "working names meeting the template's");
        RemoveAll(TargetPath());
        RemoveAll(RootPath(".k5stp0-t"));
        MakeDirectories(TargetPath());
        WriteFile(TargetPath(".k5stp1.0"), "an older kit's template");
        WriteFile(TargetPath("kept.txt"), "the user's");
        SetModificationTime(TargetPath("kept.txt"), kOld);
        PrivateDirectory(RootPath(".k5stp0-t"), {{"notes.txt", "the user's notes"}});
        PrivateDirectory(TargetPath(".k5stp0"), {{"journal", "a diary"}, {"precious.txt", "keep"}});
        const TreeSnapshot inside = Snapshot(TargetPath());
        const TreeSnapshot beside = Snapshot(RootPath(".k5stp0-t"));
        // The staging directory beside takes number 1, and so its working names.
        firstWorkingNumber_ = drawn ? std::nullopt : std::optional<uint64_t>(0);

        FailingKit();
        EXPECT_NE(RunJob(), 0u);
        EXPECT_EQ(Snapshot(TargetPath()), inside);
        EXPECT_EQ(Snapshot(RootPath(".k5stp0-t")), beside);
        EXPECT_EQ(RootNames(), (std::vector<std::string>{".k5stp0-t", "home", "kits", "t", "tmp"}));

        firstWorkingNumber_ = std::nullopt;
        for (int start = 0; start < 3; ++start) {
            ResetKit();
            AddEntry("kept.txt", "newer", TimeAt(kNew + start));
            AddEntry("new.txt", "new", TimeAt(kNew));
            ASSERT_EQ(RunJob(), 0u) << "start " << start;
            EXPECT_EQ(ReadFile(TargetPath("kept.txt")), "newer");
            EXPECT_EQ(Snapshot(RootPath(".k5stp0-t")), beside);
            EXPECT_EQ(ReadFile(TargetPath(".k5stp1.0")), "an older kit's template");
            EXPECT_EQ(ReadFile(TargetPath(".k5stp0/journal")), "a diary");
            EXPECT_EQ(ReadFile(TargetPath(".k5stp0/precious.txt")), "keep");
            EXPECT_EQ(ListNames(TargetPath()),
                      (std::vector<std::string>{".k5stp0", ".k5stp1.0", "kept.txt", "new.txt"}));
        }
    }
}

}  // namespace

namespace {

// Saves `bytes` over `path` as an editor does: a new file renamed over it.
struct Saver {
    std::string path;
    std::string bytes;
    bool done = false;
};
int SaveWhileMovingAside(FaultStep step, const std::string& path, void* context) {
    Saver& saver = *static_cast<Saver*>(context);
    if (step != FaultStep::MoveToBackup || path != saver.path || saver.done) return 0;
    saver.done = true;
    WriteFile(path + ".saving", saver.bytes);
    return ::rename((path + ".saving").c_str(), path.c_str()) == 0 ? 0 : errno;
}

// A file another program saves between the planning's look and the moment
// it is set aside was never judged older: it is left in place, the job
// fails naming it, and every other change is taken back.
TEST_F(WorkingNameTest, OnlyTheOriginalThatWasJudgedIsReplaced) {
    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchanged" : "moved aside");
        RemoveAll(TargetPath());
        MakeDirectories(TargetPath());
        WriteFile(TargetPath("a.txt"), "old a");
        SetModificationTime(TargetPath("a.txt"), kOld);
        WriteFile(TargetPath("b.txt"), "old b");
        SetModificationTime(TargetPath("b.txt"), kOld);
        ResetKit();
        AddEntry("a.txt", "new a", TimeAt(kNew));
        AddEntry("b.txt", "new b", TimeAt(kNew));
        exchangeOriginals_ = exchange;
        Saver saver{TargetPath("b.txt"), "saved meanwhile"};
        SetFaultHook(SaveWhileMovingAside, &saver);
        const uint32_t code = RunJob();
        SetFaultHook(nullptr, nullptr);
        ASSERT_TRUE(saver.done);
        EXPECT_NE(code, 0u);
        EXPECT_EQ(job_.failure.error, kChangedMeanwhile);
        EXPECT_EQ(job_.failure.path, TargetPath("b.txt"));
        EXPECT_EQ(ReadFile(TargetPath("b.txt")), "saved meanwhile");
        EXPECT_EQ(ReadFile(TargetPath("a.txt")), "old a");
        EXPECT_EQ(ListNames(TargetPath()), (std::vector<std::string>{"a.txt", "b.txt"}));
        EXPECT_FALSE(job_.backupKept);
        EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));
    }
}

}  // namespace
