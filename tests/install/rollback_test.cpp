// Fault injection: whatever stops the job on the third of four entries, the
// template directory ends exactly as it was (names, bytes, files' times), the
// backup directory is gone and the temporary directory is as before. The
// first two entries have by then replaced an older file and made a new
// directory.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/conversion.h"
#include "install/transaction.h"
#include "install/undo.h"
#include "install/install_job.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "lang/messages.h"
#include "platform/owned_descriptor.h"
#include "tests/install/install_fixture.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;   // 2001
constexpr int64_t kNew = 1262304000;  // 2010

class RollbackTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        // One entry at a time: the first two are in place when the third fails.
        batchSize_ = 1;
        WriteFile(TargetPath("replaced.txt"), "original bytes");
        SetModificationTime(TargetPath("replaced.txt"), kOld);
        MakeDirectories(TargetPath("existing"));
        WriteFile(TargetPath("existing/keep.txt"), "keep");
        SetModificationTime(TargetPath("existing/keep.txt"), kOld);
        WriteFile(TargetPath("blocker"), "a file, not a directory");
        SetModificationTime(TargetPath("blocker"), kOld);
        WriteFile(TempPath("unrelated"), "someone else's");
        targetBefore_ = Snapshot(TargetPath());
        tempBefore_ = Snapshot(TempPath());
        rootBefore_ = ListNames(RootPath(""));

        AddEntry("replaced.txt", "from the kit", TimeAt(kNew));
        AddEntry("made\\deeper\\new.txt", "new file", TimeAt(kNew));
        // When the failure is posted nothing has been undone yet.
        onPost_ = [this](const Post& post) {
            if (post.code == 0) return;
            failurePostsSeen_++;
            EXPECT_EQ(ReadFile(TargetPath("replaced.txt")), "from the kit");
            EXPECT_TRUE(IsDirectory(TargetPath("made/deeper")));
        };
    }

    void AddLastEntry() { AddEntry("last.txt", "never reached", TimeAt(kNew)); }

    void ExpectRolledBack(uint32_t expectedCode) {
        EXPECT_EQ(Snapshot(TargetPath()), targetBefore_);
        EXPECT_EQ(Snapshot(TempPath()), tempBefore_);
        EXPECT_EQ(ListNames(RootPath("")), rootBefore_);
        ASSERT_FALSE(job_.record.target.empty());
        EXPECT_FALSE(PathExists(StagingPath()));
        ExpectFailurePosts(posts_, expectedCode);
    }

    void ExpectFailurePosts(const std::vector<Post>& posts, uint32_t expectedCode) {
        ASSERT_EQ(posts.size(), 4u);  // three entries begun, then the one final post
        EXPECT_EQ(posts[2].percent, 50u);
        EXPECT_EQ(posts[3].code, expectedCode);
        EXPECT_EQ(posts[3].text, "Installation error");
        EXPECT_EQ(posts[3].percent, 50u);
        EXPECT_EQ(failurePostsSeen_, 1);
    }

    TreeSnapshot targetBefore_;
    TreeSnapshot tempBefore_;
    std::vector<std::string> rootBefore_;
    int failurePostsSeen_ = 0;
};

TEST_F(RollbackTest, FileStandingWhereADirectoryMustBeMade) {
    AddEntry("blocker\\inside.txt", "x", TimeAt(kNew));
    AddLastEntry();
    EXPECT_EQ(RunJob(), 2u);
    ExpectRolledBack(2);
}

// The registry's directory (~/.vxk5/transactions/) made for a job that then
// failed goes with it, and so does ~/.vxk5/ when the job made that too; a
// level the user made stays, empty or not.
TEST_F(RollbackTest, RegistryDirectoriesTheJobMadeGoWhenItFails) {
    const std::string base = RootPath("home/.vxk5");
    const std::string registry = base + "/transactions";
    bool registered = false;  // while the job ran
    auto failingRun = [&] {
        ResetKit();
        registered = false;
        onPost_ = [&](const Post&) { registered = registered || ListNames(registry).size() == 1; };
        AddEntry("replaced.txt", "from the kit", TimeAt(kNew));
        AddEntry("blocker\\inside.txt", "x", TimeAt(kNew));
        EXPECT_EQ(RunJob(), 2u);
        EXPECT_EQ(Snapshot(TargetPath()), targetBefore_);
    };
    ASSERT_TRUE(IsDirectory(RootPath("home")));
    ASSERT_FALSE(PathExists(base));
    failingRun();
    EXPECT_TRUE(registered);
    EXPECT_FALSE(PathExists(base));
    EXPECT_TRUE(IsDirectory(RootPath("home")));

    MakeDirectories(base);
    failingRun();
    EXPECT_TRUE(registered);
    EXPECT_TRUE(IsDirectory(base));
    EXPECT_FALSE(PathExists(registry));

    MakeDirectories(registry);
    ASSERT_EQ(::chmod(base.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(registry.c_str(), 0700), 0);
    failingRun();
    EXPECT_TRUE(IsDirectory(registry));
    EXPECT_TRUE(ListNames(registry).empty());
}

TEST_F(RollbackTest, EntryRunningPastTheEndOfTheContainer) {
    BuildKit();  // the first two entries as usual
    const uint32_t end = static_cast<uint32_t>(containerData_.size());
    std::vector<KitFileEntry> entries = kit().Entries();
    KitFileEntry entry;
    entry.name = FromMultiByte(AString("torn.txt"));
    entry.offset = end - 4;
    entry.size = 4 + 3 * kKitCopyBufferSize;  // more than one buffer beyond the end
    entry.timeLow = TimeAt(kNew).low;
    entry.timeHigh = TimeAt(kNew).high;
    entries.push_back(entry);
    entry.name = FromMultiByte(AString("last.txt"));
    entry.offset = 0;
    entry.size = 1;
    entries.push_back(entry);
    SetEntries(std::move(entries));
    EXPECT_EQ(RunJob(), 13u);
    ExpectRolledBack(13);
}

TEST_F(RollbackTest, EntryStartingBeyondTheEndOfTheContainer) {
    AddRawEntry("far.txt", 1u << 30, 10, TimeAt(kNew));
    AddLastEntry();
    EXPECT_EQ(RunJob(), 13u);
    ExpectRolledBack(13);
}

class RefusedNameTest : public RollbackTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedNameTest, NameReachingOutsideTheTemplateDirectory) {
    AddEntry(GetParam(), "escaped", TimeAt(kNew));
    AddLastEntry();
    EXPECT_EQ(RunJob(), 13u);
    ExpectRolledBack(13);
    EXPECT_FALSE(PathExists("/abs"));
    EXPECT_FALSE(PathExists("/evil.txt"));
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedNameTest,
                         ::testing::Values("..\\evil.txt", "../evil.txt", "made\\..\\..\\evil.txt",
                                           "existing/../../tmp/evil.txt", "..", "/abs", "\\abs", "C:x",
                                           "c:\\evil.txt", "", "existing\\", "."));

// A write that fails part-way: a file-size limit (with SIGXFSZ ignored, so the
// write reports EFBIG) in a child process, where the limit harms nothing else.
TEST_F(RollbackTest, WriteFailingPartWay) {
    constexpr uint32_t kLimit = 1536 * 1024;
    std::string big(3 * kKitCopyBufferSize, 'z');
    AddEntry("big.bin", big, TimeAt(kNew));
    AddLastEntry();
    BuildKit();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {kLimit, kLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
        // Seen from the child: the new file had begun to fill, under its
        // temporary name, when the job failed; its own name was never taken.
        onPost_ = [this](const Post& post) {
            if (post.code == 0) return;
            if (PathExists(TargetPath("big.bin"))) ::_exit(101);
            bool temporary = false;
            for (const std::string& name : ListNames(TargetPath())) temporary = temporary || name.rfind(".k5stp", 0) == 0;
            if (!temporary) ::_exit(104);
        };
        const uint32_t code = RunJob();
        if (posts_.size() != 4 || posts_[3].code != code || posts_[3].percent != 50) ::_exit(102);
        ::_exit(code == 87 ? 0 : 103);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Snapshot(TargetPath()), targetBefore_);
    EXPECT_EQ(Snapshot(TempPath()), tempBefore_);
}

// Each state an exchange can be found in: done (the original under the
// temporary name, the job's file in place); not yet done (the new file under
// its temporary name, identified or not); done, and then the job's file
// removed, or replaced, or the original taken, by someone else. The originals
// go back wherever they can; what anyone else put there stays; a lost
// original is said.
TEST(ExchangeUndoTest, EveryStateOfAnExchangeIsUndoneOrSaid) {
    TempDir root;
    const std::string target = root.path("t") + "/";
    MakeDirectories(target + "sub");
    const auto identity = [&](const std::string& relative) {
        struct stat status {};
        EXPECT_EQ(::lstat((target + relative).c_str(), &status), 0) << relative;
        return EntryIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    };
    std::vector<JournalStep> steps;
    const auto exchange = [&](const std::string& name, const std::string& temporary, const char* standing,
                              const char* kept, bool identified) {
        if (standing != nullptr) WriteFile(target + name, standing);
        if (kept != nullptr) WriteFile(target + "sub/" + temporary, kept);
        JournalStep& step = steps.emplace_back(StepKind::ExchangeFile, target + name, temporary);
        if (identified) {
            // The job's file: at the destination once exchanged, else under the temporary name.
            const std::string& relative = standing != nullptr && std::string(standing) == "job's" ? name : "sub/" + temporary;
            const EntryIdentity file = identity(relative);
            step.identified = true;
            step.device = file.device;
            step.inode = file.inode;
        }
    };
    exchange("sub/done", ".k5stp0.0", "job's", "original done", true);
    exchange("sub/before", ".k5stp0.1", "original before", "job's new", true);
    exchange("sub/unidentified", ".k5stp0.2", "original unidentified", "job's new", false);
    exchange("sub/removed", ".k5stp0.3", "job's", "original removed", true);
    ASSERT_EQ(::unlink((target + "sub/removed").c_str()), 0);
    exchange("sub/replaced", ".k5stp0.4", "job's", "original replaced", true);
    WriteFile(target + "sub/replaced.new", "the user's");
    ASSERT_EQ(::rename((target + "sub/replaced.new").c_str(), (target + "sub/replaced").c_str()), 0);
    exchange("sub/taken", ".k5stp0.5", "job's", "original taken", true);
    ASSERT_EQ(::unlink((target + "sub/.k5stp0.5").c_str()), 0);

    const OwnedDescriptor directory(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The live rollback knows every file its job made: an unidentified
    // working file is someone else's and stays.
    EXPECT_FALSE(UndoSteps({steps[2]}, target, directory.Get(), -1, Unrecorded::NotOurs).error);
    EXPECT_EQ(ReadFile(target + "sub/.k5stp0.2"), "job's new");
    // The recovery takes a regular file at a working name, drawn at random, for its own.
    const UndoOutcome outcome = UndoSteps(steps, target, directory.Get(), -1, Unrecorded::Ours);
    EXPECT_FALSE(outcome.originalsRestored);
    EXPECT_EQ(outcome.notRestored,
              (std::vector<std::string>{target + "sub/taken", target + "sub/.k5stp0.4"}));  // newest first
    EXPECT_EQ(ReadFile(target + "sub/done"), "original done");
    EXPECT_EQ(ReadFile(target + "sub/before"), "original before");
    EXPECT_EQ(ReadFile(target + "sub/unidentified"), "original unidentified");
    EXPECT_EQ(ReadFile(target + "sub/removed"), "original removed");
    EXPECT_EQ(ReadFile(target + "sub/replaced"), "the user's");
    EXPECT_EQ(ReadFile(target + "sub/.k5stp0.4"), "original replaced");
    EXPECT_EQ(ReadFile(target + "sub/taken"), "job's");
    EXPECT_EQ(ListNames(target + "sub"), (std::vector<std::string>{".k5stp0.4", "before", "done", "removed",
                                                                    "replaced", "taken", "unidentified"}));
    // Played again (a recovery after a rollback cut short), it changes nothing more.
    const TreeSnapshot after = Snapshot(target);
    EXPECT_EQ(UndoSteps(steps, target, directory.Get(), -1, Unrecorded::Ours).notRestored, outcome.notRestored);
    EXPECT_EQ(Snapshot(target), after);
}

TEST_F(RollbackTest, RollbackOfAnEmptyJournalReturnsTheCode) {
    Transaction transaction;
    EXPECT_EQ(transaction.Rollback(87), 87u);
    EXPECT_EQ(Snapshot(TargetPath()), targetBefore_);
}

}  // namespace

namespace {

// A kit read file table first, as the installer reads it: its data area
// stays packed until the job needs a file's bytes. A template directory that
// is up to date never has it unpacked; a data area cut short fails the job
// before its first change, and the job says the kit is damaged.
class LateDataAreaTest : public InstallTest {};

TEST_F(LateDataAreaTest, IsUnpackedForTheFirstWriteOnly) {
    constexpr uint32_t kEach = 4u << 20;  // together, twice what the head is unpacked with
    std::string data(2 * kEach, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
    const FileTime time = TimeAt(kNew);
    const std::string container =
        kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
                                       {{u"a.bin", time.low, time.high, 0, kEach},
                                        {u"b.bin", time.low, time.high, kEach, kEach}}) +
        data;
    const std::string kitFile = RootPath("kits/large.efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(kitFile), container), 0u);
    WriteFile(TargetPath("a.bin"), "the user's a\n");
    WriteFile(TargetPath("b.bin"), "the user's b\n");
    SetModificationTime(TargetPath("a.bin"), kNew);
    SetModificationTime(TargetPath("b.bin"), kNew + 1);
    const TreeSnapshot upToDate = Snapshot(TargetPath());
    BuildKit();
    ASSERT_EQ(ReadKit(kit_, FromMultiByte(kitFile), nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_TRUE(kit().RestPending());
    EXPECT_EQ(RunJob(), 0u);
    EXPECT_TRUE(kit().RestPending()) << "nothing to write, nothing unpacked";
    EXPECT_EQ(Snapshot(TargetPath()), upToDate);

    const std::string packed = ReadFile(kitFile);
    WriteFile(RootPath("kits/cut.efd"), packed.substr(0, packed.size() * 3 / 4));
    SetModificationTime(TargetPath("b.bin"), kOld);
    const TreeSnapshot before = Snapshot(TargetPath());
    ASSERT_EQ(ReadKit(kit_, FromMultiByte(RootPath("kits/cut.efd")), nullptr, KitReading::FileTableFirst), 0u);
    EXPECT_EQ(RunJob(), ERR_INVALID_DATA);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    const std::string damaged = ToMultiByteString(LoadResString("IDS_ERROR_DAMAGEDSOURCE"));
    bool said = false;
    for (const Post& post : posts_) said = said || post.text.find(damaged) != std::string::npos;
    EXPECT_TRUE(said);

    // Broken after the last entry's bytes, which no entry needs: every file
    // is written meanwhile, and the job still fails before its commit, as
    // damaged, and rolls back.
    const std::string tailed = container + data + data + data;  // the unpacking's steps serve every entry first
    constexpr size_t kBlock = 65535;
    std::string stored;  // stored deflate blocks, 5 bytes of header each
    for (size_t at = 0; at < tailed.size(); at += kBlock) {
        const size_t n = std::min(kBlock, tailed.size() - at);
        stored += at + n == tailed.size() ? '\x01' : '\x00';
        for (const size_t half : {n, ~n}) {
            stored += static_cast<char>(half & 0xFF);
            stored += static_cast<char>((half >> 8) & 0xFF);
        }
        stored.append(tailed, at, n);
    }
    stored[(tailed.size() - kEach / 2) / kBlock * (kBlock + 5) + 3] ^= 0x01;  // length and complement disagree
    WriteFile(RootPath("kits/broken.efd"), stored);
    SetModificationTime(TargetPath("a.bin"), kOld);
    const TreeSnapshot older = Snapshot(TargetPath());
    posts_.clear();
    ASSERT_EQ(ReadKit(kit_, FromMultiByte(RootPath("kits/broken.efd")), nullptr, KitReading::FileTableFirst), 0u);
    EXPECT_EQ(RunJob(), ERR_INVALID_DATA);
    EXPECT_EQ(Snapshot(TargetPath()), older);
    said = false;
    for (const Post& post : posts_) said = said || post.text.find(damaged) != std::string::npos;
    EXPECT_TRUE(said);
}

}  // namespace
