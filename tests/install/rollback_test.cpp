// Fault injection: whatever stops the job on the third of four entries, the
// template directory ends exactly as it was (names, bytes, files' times), the
// backup directory is gone and the temporary directory is as before. The
// first two entries have by then replaced an older file and made a new
// directory.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/conversion.h"
#include "install/backup.h"
#include "install/install_job.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "lang/messages.h"
#include "tests/install/install_fixture.h"

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
        ASSERT_FALSE(job_.journal.empty());
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

TEST_F(RollbackTest, RollbackOfAnEmptyJournalReturnsTheCode) {
    InstallJob job;
    EXPECT_EQ(RollbackInstall(job, 87), 87u);
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
