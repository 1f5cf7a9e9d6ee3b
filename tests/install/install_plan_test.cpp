// The dry run's decisions: what the installation would do with each entry,
// read from the template directory without changing it, and in agreement with
// what the job then does.

#include "base/conversion.h"
#include "install/install_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kYear2001 = 978307200;
constexpr int64_t kYear2010 = 1262304000;
constexpr int64_t kYear2020 = 1577836800;

using InstallPlanTest = InstallTest;

struct Decision {
    std::string action;
    std::string reason;
};

// The decisions by name relative to the template directory.
std::map<std::string, Decision> Decisions(const InstallPlan& plan, const std::string& root) {
    std::map<std::string, Decision> decisions;
    for (const PlannedEntry& entry : plan.entries) {
        std::string name = ToMultiByteString(entry.destination);
        if (name.rfind(root, 0) == 0) name.erase(0, root.size());
        decisions[name] = {PlanActionName(entry.action), entry.reason != nullptr ? entry.reason : ""};
    }
    return decisions;
}

TEST_F(InstallPlanTest, DecidesEveryKindOfDestinationAndChangesNothing) {
    WriteFile(TargetPath("older.txt"), "old");
    SetModificationTime(TargetPath("older.txt"), kYear2001);
    WriteFile(TargetPath("equal.txt"), "same");
    SetModificationTime(TargetPath("equal.txt"), kYear2010);
    WriteFile(TargetPath("newer.txt"), "mine");
    SetModificationTime(TargetPath("newer.txt"), kYear2020);
    MakeDirectories(TargetPath("folder.txt"));
    SetModificationTime(TargetPath("folder.txt"), kYear2001);  // older, and still no file can go there
    ASSERT_EQ(::mkfifo(TargetPath("pipe.txt").c_str(), 0600), 0);
    MakeDirectories(RootPath("elsewhere"));
    ASSERT_EQ(::symlink(RootPath("elsewhere").c_str(), TargetPath("dirlink.txt").c_str()), 0);
    WriteFile(RootPath("linked-file"), "linked");
    SetModificationTime(RootPath("linked-file"), kYear2001);
    ASSERT_EQ(::symlink(RootPath("linked-file").c_str(), TargetPath("filelink.txt").c_str()), 0);
    ASSERT_EQ(::symlink(RootPath("nowhere").c_str(), TargetPath("dangling.txt").c_str()), 0);
    WriteFile(TargetPath("plainfile"), "in the way");
    const TreeSnapshot before = Snapshot(TargetPath());

    AddEntry("fresh\\deep\\new.txt", "n", TimeAt(kYear2010));
    AddEntry("older.txt", "o", TimeAt(kYear2010));
    AddEntry("equal.txt", "e", TimeAt(kYear2010));
    AddEntry("newer.txt", "w", TimeAt(kYear2010));
    AddEntry("folder.txt", "f", TimeAt(kYear2010));
    AddEntry("pipe.txt", "p", TimeAt(kYear2010));
    AddEntry("dirlink.txt", "d", TimeAt(kYear2010));
    AddEntry("filelink.txt", "l", TimeAt(kYear2010));
    AddEntry("dangling.txt", "g", TimeAt(kYear2010));
    AddEntry("plainfile\\inside.txt", "i", TimeAt(kYear2010));
    AddEntry("..\\escape.txt", "x", TimeAt(kYear2010));
    AddEntry("/etc/absolute.txt", "x", TimeAt(kYear2010));
    BuildKit();

    const InstallPlan plan = PlanInstall(kit().Entries(), FromMultiByte(TargetPath()));
    const auto decisions = Decisions(plan, TargetPath());
    EXPECT_EQ(decisions.at("fresh/deep/new.txt").action, "new");
    EXPECT_EQ(decisions.at("older.txt").action, "replace");
    EXPECT_EQ(decisions.at("equal.txt").action, "keep");
    EXPECT_EQ(decisions.at("newer.txt").action, "keep");
    EXPECT_EQ(decisions.at("folder.txt").action, "refuse");
    EXPECT_NE(decisions.at("folder.txt").reason.find("folder"), std::string::npos);
    EXPECT_EQ(decisions.at("pipe.txt").action, "refuse");
    EXPECT_NE(decisions.at("pipe.txt").reason.find("pipe"), std::string::npos);
    EXPECT_EQ(decisions.at("dirlink.txt").action, "refuse");
    EXPECT_EQ(decisions.at("filelink.txt").action, "replace") << "the linked file's time counts";
    EXPECT_EQ(decisions.at("dangling.txt").action, "replace");
    EXPECT_EQ(decisions.at("plainfile/inside.txt").action, "refuse");
    EXPECT_EQ(decisions.at("../escape.txt").action, "refuse");
    EXPECT_NE(decisions.at("../escape.txt").reason.find("outside"), std::string::npos);
    EXPECT_EQ(decisions.at("/etc/absolute.txt").action, "refuse");
    for (const auto& [name, decision] : decisions) {
        EXPECT_EQ(decision.action == "refuse", !decision.reason.empty()) << name;
    }
    EXPECT_EQ(plan.counts.newFiles, 1u);
    EXPECT_EQ(plan.counts.replaced, 3u);
    EXPECT_EQ(plan.counts.kept, 2u);
    EXPECT_EQ(plan.refused, 6u);

    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_TRUE(ListNames(TempPath()).empty());
    EXPECT_FALSE(PathExists(RootPath("escape.txt")));
}

TEST_F(InstallPlanTest, ALinkToAPipeOrADeviceIsRefusedForWhatItPointsTo) {
    ASSERT_EQ(::mkfifo(RootPath("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(RootPath("pipe").c_str(), TargetPath("to-pipe.txt").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", TargetPath("to-device.txt").c_str()), 0);
    AddEntry("to-pipe.txt", "p", TimeAt(kYear2010));
    AddEntry("to-device.txt", "d", TimeAt(kYear2010));
    BuildKit();

    const InstallPlan plan = PlanInstall(kit().Entries(), FromMultiByte(TargetPath()));
    const auto decisions = Decisions(plan, TargetPath());
    EXPECT_EQ(decisions.at("to-pipe.txt").action, "refuse");
    EXPECT_NE(decisions.at("to-pipe.txt").reason.find("pipe"), std::string::npos);
    EXPECT_EQ(decisions.at("to-device.txt").action, "refuse");
    EXPECT_NE(decisions.at("to-device.txt").reason.find("device"), std::string::npos);
    EXPECT_EQ(plan.refused, 2u);
}

TEST_F(InstallPlanTest, LaterEntriesSeeWhatEarlierOnesWouldWrite) {
    WriteFile(TargetPath("twice.txt"), "old");
    SetModificationTime(TargetPath("twice.txt"), kYear2001);
    AddEntry("twice.txt", "first", TimeAt(kYear2010));
    AddEntry("twice.txt", "second", TimeAt(kYear2020));  // newer than the first: replaced again
    AddEntry("twice.txt", "third", TimeAt(kYear2010));   // older than what the second wrote
    AddEntry("sub\\file.txt", "s", TimeAt(kYear2010));
    AddEntry("sub", "a file where the folder goes", TimeAt(kYear2010));
    AddEntry("flat", "a file", TimeAt(kYear2010));
    AddEntry("flat\\below.txt", "needs flat as a folder", TimeAt(kYear2010));
    BuildKit();

    const InstallPlan plan = PlanInstall(kit().Entries(), FromMultiByte(TargetPath()));
    ASSERT_EQ(plan.entries.size(), 7u);
    std::vector<std::string> actions;
    for (const PlannedEntry& entry : plan.entries) actions.push_back(PlanActionName(entry.action));
    EXPECT_EQ(actions, (std::vector<std::string>{"replace", "replace", "keep", "new", "refuse", "new", "refuse"}));
}

TEST_F(InstallPlanTest, MissingTemplateDirectoryMeansEveryFileIsNew) {
    AddEntry("a.txt", "a", TimeAt(kYear2010));
    AddEntry("b\\c.txt", "c", TimeAt(kYear2010));
    BuildKit();
    const InstallPlan plan = PlanInstall(kit().Entries(), FromMultiByte(RootPath("not-yet/")));
    EXPECT_EQ(plan.counts.newFiles, 2u);
    EXPECT_EQ(ToMultiByteString(plan.entries[1].destination), RootPath("not-yet/b/c.txt"));
    EXPECT_FALSE(PathExists(RootPath("not-yet")));

    // The job's form only: no "/" is added, no relative path resolved.
    for (const std::string& target : {RootPath("not-yet"), std::string("not-yet/")}) {
        const InstallPlan refused = PlanInstall(kit().Entries(), FromMultiByte(target));
        EXPECT_EQ(refused.refused, 2u) << target;
        EXPECT_EQ(refused.counts.newFiles, 0u) << target;
    }

    const InstallPlan nowhere = PlanInstall(kit().Entries(), WString());
    EXPECT_EQ(nowhere.refused, 2u) << "without a template directory nothing can be written";
}

// The plan foretells the job: the same counts, and a second run keeps everything.
TEST_F(InstallPlanTest, AgreesWithTheJobOnNewReplacedAndKept) {
    WriteFile(TargetPath("older.txt"), "old");
    SetModificationTime(TargetPath("older.txt"), kYear2001);
    WriteFile(TargetPath("newer.txt"), "mine");
    SetModificationTime(TargetPath("newer.txt"), kYear2020);
    AddEntry("older.txt", "o", TimeAt(kYear2010));
    AddEntry("newer.txt", "w", TimeAt(kYear2010));
    AddEntry("sub\\new.txt", "n", TimeAt(kYear2010));
    AddEntry("new.txt", "n", TimeAt(kYear2010));
    BuildKit();

    const InstallPlan plan = PlanInstall(kit().Entries(), FromMultiByte(TargetPath()));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(job_.counts.newFiles, plan.counts.newFiles);
    EXPECT_EQ(job_.counts.replaced, plan.counts.replaced);
    EXPECT_EQ(job_.counts.kept, plan.counts.kept);
    EXPECT_EQ(plan.counts.newFiles, 2u);
    EXPECT_EQ(plan.counts.replaced, 1u);
    EXPECT_EQ(plan.counts.kept, 1u);

    const InstallPlan again = PlanInstall(kit().Entries(), FromMultiByte(TargetPath()));
    EXPECT_EQ(again.counts.kept, 4u);
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(job_.counts.kept, 4u);
    EXPECT_EQ(job_.counts.newFiles + job_.counts.replaced, 0u);
}

}  // namespace
