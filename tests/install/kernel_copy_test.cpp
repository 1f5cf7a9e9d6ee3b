// The byte copy of an entry when the kernel copies little at a time, refuses
// to copy (the bytes then go through the buffer, for the rest of the kit), or
// fails; and the job's knowledge of directories after a rollback.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/conversion.h"
#include "install/extract.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kNew = 1262304000;  // 2010

// What the kernel copy stand-in does on its next calls.
struct CopyScript {
    size_t calls = 0;
    size_t piece = 3;        // at most this many bytes per call
    size_t refuseAfter = 0;  // calls that copy before the refusal (0: never refuse)
    int refusal = 0;         // errno of the refusal
};
CopyScript g_script;

// Copies at most `piece` bytes through user space, advancing the offsets as
// the kernel would; or fails with the script's refusal.
ssize_t ScriptedCopy(int from, off64_t* fromOffset, int to, size_t length) {
    ++g_script.calls;
    if (g_script.refusal != 0 && g_script.calls > g_script.refuseAfter) {
        errno = g_script.refusal;
        return -1;
    }
    char bytes[64];
    const size_t wanted = std::min({length, g_script.piece, sizeof bytes});
    const ssize_t got = ::pread(from, bytes, wanted, *fromOffset);
    if (got <= 0) return got;
    const ssize_t put = ::write(to, bytes, static_cast<size_t>(got));
    if (put > 0) *fromOffset += put;
    return put;
}

class KernelCopyTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        g_script = CopyScript();
        SetKernelCopyFunction(ScriptedCopy);
    }
    void TearDown() override {
        SetKernelCopyFunction(nullptr);
        SetFaultHook(nullptr, nullptr);
        InstallTest::TearDown();
    }

    // Entries whose sizes are no multiple of the piece, one past the buffer.
    void AddSampleEntries() {
        AddEntry("a.txt", "seventeen bytes!!", TimeAt(kNew));
        AddEntry("empty", "", TimeAt(kNew));
        AddEntry("sub\\b.txt", std::string(1000, 'b') + "end", TimeAt(kNew));
    }
    void ExpectSampleFiles() {
        EXPECT_EQ(ReadFile(TargetPath("a.txt")), "seventeen bytes!!");
        EXPECT_EQ(ReadFile(TargetPath("empty")), "");
        EXPECT_EQ(ReadFile(TargetPath("sub/b.txt")), std::string(1000, 'b') + "end");
        EXPECT_EQ(ModificationTime(TargetPath("sub/b.txt")), kNew);
    }
};

TEST_F(KernelCopyTest, ShortCopiesAreContinuedUntilTheEntryIsWhole) {
    AddSampleEntries();
    ASSERT_EQ(RunJob(), 0u);
    ExpectSampleFiles();
    EXPECT_EQ(g_script.calls, 6u + 0u + 335u);
    EXPECT_TRUE(kit().CopyInKernel());
}

TEST_F(KernelCopyTest, RefusedCopyFallsBackToReadsForTheRestOfTheKit) {
    for (const int refusal : {EXDEV, ENOSYS, EINVAL, EOPNOTSUPP}) {
        SCOPED_TRACE(refusal);
        ResetKit();
        (void)RemoveTree(FromMultiByte(TargetPath()));
        MakeDirectories(TargetPath());
        g_script = CopyScript();
        g_script.refusal = refusal;
        AddSampleEntries();
        ASSERT_EQ(RunJob(), 0u);
        ExpectSampleFiles();
        EXPECT_EQ(g_script.calls, 1u);  // asked once, then never again for this kit
        EXPECT_FALSE(kit().CopyInKernel());
    }
}

TEST_F(KernelCopyTest, RefusalPartWayThroughAnEntryContinuesWhereTheCopyStopped) {
    g_script.refusal = EXDEV;
    g_script.refuseAfter = 10;  // 30 bytes of b.txt copied in the kernel, the rest read
    AddEntry("b.txt", std::string(500, 'x') + "tail", TimeAt(kNew));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("b.txt")), std::string(500, 'x') + "tail");
}

TEST_F(KernelCopyTest, FailedCopyIsTheJobsFailureAndIsRolledBack) {
    WriteFile(TargetPath("keep.txt"), "the user's");
    const TreeSnapshot before = Snapshot(TargetPath());
    g_script.refusal = ENOSPC;
    g_script.refuseAfter = 2;
    AddEntry("new\\a.txt", "a", TimeAt(kNew));
    AddEntry("new\\full.bin", std::string(100, 'f'), TimeAt(kNew));
    EXPECT_EQ(RunJob(), 87u);
    EXPECT_EQ(job_.failure.error, ENOSPC);
    EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath("new/full.bin"));
    EXPECT_EQ(Snapshot(TargetPath()), before);
}

TEST_F(KernelCopyTest, EntryPastTheEndOfTheContainerIsRefusedWhicheverWayItIsCopied) {
    for (const int refusal : {0, EXDEV}) {
        SCOPED_TRACE(refusal);
        ResetKit();
        g_script = CopyScript();
        g_script.refusal = refusal;
        AddEntry("a.txt", "twelve bytes", TimeAt(kNew));
        AddRawEntry("long.txt", 0, 100, TimeAt(kNew));  // the container holds fewer
        const TreeSnapshot before = Snapshot(TargetPath());
        EXPECT_EQ(RunJob(), 13u);
        EXPECT_EQ(Snapshot(TargetPath()), before);
    }
}

// A job that made directories and was rolled back, then another job in the
// same process: the directories the rollback removed are made again.
TEST_F(KernelCopyTest, DirectoriesRemovedByARollbackAreMadeAgain) {
    SetKernelCopyFunction(nullptr);
    struct FailOn {
        std::string path;
    } failOn{TargetPath("d1/d2/fails.txt")};
    SetFaultHook(
        [](FaultStep step, const std::string& path, void* context) {
            return step == FaultStep::Write && path == static_cast<FailOn*>(context)->path ? EIO : 0;
        },
        &failOn);
    AddEntry("d1\\d2\\first.txt", "first", TimeAt(kNew));
    AddEntry("d1\\d2\\fails.txt", "second", TimeAt(kNew));
    EXPECT_EQ(RunJob(), 87u);
    EXPECT_FALSE(PathExists(TargetPath("d1")));

    // The same job object run again (as a caller may) and a fresh job.
    failOn.path.clear();
    InstallJobState state;
    SetupJob(state, FromMultiByte(TargetPath()));
    job_.finalPauseMilliseconds = 0;
    EXPECT_EQ(RunInstallJob(job_, state, kit_.get()).code, 0u);
    EXPECT_EQ(ReadFile(TargetPath("d1/d2/fails.txt")), "second");
    (void)RemoveTree(FromMultiByte(TargetPath("d1")));
    ASSERT_EQ(RunJob(), 0u);
    EXPECT_EQ(ReadFile(TargetPath("d1/d2/first.txt")), "first");
}

}  // namespace
