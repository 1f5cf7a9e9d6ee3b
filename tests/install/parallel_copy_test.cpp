// A batch's files written and placed by two threads: the same tree as by one,
// each thread with its own copy memory, the first failure in the kit's order
// reported, and everything undone whichever thread failed.

#include <cerrno>
#include <climits>
#include <mutex>
#include <set>

#include "install/extract.h"
#include "platform/fault_injection.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;    // 2001
constexpr int64_t kNew = 1262304000;   // 2010
constexpr int64_t kNewer = 1577836800;  // 2020
constexpr int kFiles = 400;

// The kernel refuses every copy, so both threads copy through memory.
int64_t RefusingCopy(int, int64_t*, int, size_t) {
    errno = EXDEV;
    return -1;
}

// Fails every step of `kind` on the paths ending in one of `suffixes`.
struct PathFaults {
    FaultStep kind = FaultStep::Write;
    std::set<std::string> suffixes;
    int error = ENOSPC;
    int fired = 0;
};

int FailOnPaths(FaultStep step, const std::string& path, void* context) {
    PathFaults& faults = *static_cast<PathFaults*>(context);
    if (step != faults.kind) return 0;
    const std::string name = path.substr(path.rfind('/') + 1);
    if (faults.suffixes.count(name) == 0) return 0;
    ++faults.fired;
    return faults.error;
}

// Fails the `nth` step of `kind`, counted over both threads.
struct NthFault {
    FaultStep kind = FaultStep::Write;
    int nth = 0;
    int seen = 0;
    bool fired = false;
};

int FailNth(FaultStep step, const std::string&, void* context) {
    NthFault& fault = *static_cast<NthFault*>(context);
    if (step != fault.kind || ++fault.seen != fault.nth) return 0;
    fault.fired = true;
    return ENOSPC;
}

class ParallelCopyTest : public InstallTest {
protected:
    void TearDown() override {
        SetFaultHook(nullptr, nullptr);
        SetKernelCopyFunction(nullptr);
        InstallTest::TearDown();
    }

    // `directories` directories of the kit's files; every third file exists
    // older, every seventh newer (kept), the rest are new.
    // With few directories each holds a block of consecutive entries (the
    // threads take groups of one directory); with many, they take turns.
    static std::string Name(int i, int directories) {
        const int directory = directories < 10 ? i * directories / kFiles : i % directories;
        return "d" + std::to_string(directory) + "/f" + std::to_string(i);
    }
    void MakeOldState(const std::string& target, int directories) {
        RemoveAll(target);
        for (int d = 0; d < directories; ++d) MakeDirectories(target + "d" + std::to_string(d));
        for (int i = 0; i < kFiles; ++i) {
            if (i % 7 == 0) {
                WriteFile(target + Name(i, directories), "newer " + std::to_string(i));
                SetModificationTime(target + Name(i, directories), kNewer);
            } else if (i % 3 == 0) {
                WriteFile(target + Name(i, directories), "old " + std::to_string(i));
                SetModificationTime(target + Name(i, directories), kOld);
            }
        }
    }
    void AddKit(int directories) {
        for (int i = 0; i < kFiles; ++i) {
            std::string name = Name(i, directories);
            name[name.find('/')] = '\\';
            // Some files larger than a copy step, most small.
            const std::string bytes = i % 50 == 1 ? std::string(kKitCopyBufferSize + 4099, static_cast<char>('a' + i % 26))
                                                  : "kit " + std::to_string(i) + std::string(static_cast<size_t>(i % 300), 'x');
            AddEntry(name, bytes, TimeAt(kNew));
        }
    }

    // The last run failed with a full disk and left everything as `before`.
    void ExpectUndone(const TreeSnapshot& before, const std::string& what) {
        EXPECT_EQ(job_.failure.error, ENOSPC) << what;
        EXPECT_EQ(Snapshot(TargetPath()), before) << what;
        EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
        EXPECT_FALSE(job_.backupKept) << what;
    }
};

// On two threads, with the kernel copying or refusing (each thread then
// copies through memory of its own), in one run of directories or in many
// (more directories than a run holds), the tree is the one a single thread
// makes, byte for byte and time for time.
TEST_F(ParallelCopyTest, TwoThreadsMakeTheTreeOneThreadMakes) {
    for (const int directories : {6, 40}) {
        for (const bool refuse : {false, true}) {
            const std::string what = std::to_string(directories) + " directories, kernel copy " + (refuse ? "refused" : "used");
            ResetKit();
            AddKit(directories);
            SetKernelCopyFunction(refuse ? RefusingCopy : nullptr);

            parallelFrom_ = SIZE_MAX;
            MakeOldState(TargetPath(), directories);
            ASSERT_EQ(RunJob(), 0u) << what;
            const TreeSnapshot single = Snapshot(TargetPath());
            const InstallCounts singleCounts = job_.counts;

            parallelFrom_ = 2;
            MakeOldState(TargetPath(), directories);
            ASSERT_EQ(RunJob(), 0u) << what;
            EXPECT_EQ(Snapshot(TargetPath()), single) << what;
            EXPECT_EQ(job_.counts.newFiles, singleCounts.newFiles) << what;
            EXPECT_EQ(job_.counts.replaced, singleCounts.replaced) << what;
            EXPECT_EQ(job_.counts.kept, singleCounts.kept) << what;
            EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
            EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"})) << what;
        }
    }
}

// A kit copied from once, read as the installer reads it, gives its
// container's bytes back as the runs are written, on one thread and on two,
// while its data area is still being unpacked:
// the tree is the one a kit that keeps its bytes makes. A second job on that
// kit fails before changing anything rather than copy bytes given back.
TEST_F(ParallelCopyTest, AKitCopiedFromOnceGivesItsBytesBackAndMakesTheSameTree) {
    AddKit(6);  // eight files larger than a copy step: several MiB, given back in steps
    batchSize_ = 64;
    MakeOldState(TargetPath(), 6);
    ASSERT_EQ(RunJob(), 0u);
    const TreeSnapshot kept = Snapshot(TargetPath());
    for (const size_t parallelFrom : {size_t{2}, SIZE_MAX}) {
        const std::string what = parallelFrom == 2 ? "two threads" : "one thread";
        ReadBackAsKitFile();
        ASSERT_TRUE(kit().RestPending()) << what << ": the data area is unpacked while the job writes";
        releaseCopiedBytes_ = true;
        parallelFrom_ = parallelFrom;
        MakeOldState(TargetPath(), 6);
        ASSERT_EQ(RunJob(), 0u) << what;
        EXPECT_EQ(Snapshot(TargetPath()), kept) << what;
        EXPECT_GT(kit().ReleasedEntries(), 0u) << what;

        MakeOldState(TargetPath(), 6);
        const TreeSnapshot before = Snapshot(TargetPath());
        EXPECT_EQ(RunJob(), ERR_INVALID_PARAMETER) << what;
        EXPECT_EQ(Snapshot(TargetPath()), before) << what;
        EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
        releaseCopiedBytes_ = false;
    }
}

// Two failing files, taken by either thread: whichever fails first in time,
// the failure reported is the first in the kit's order, and nothing is changed.
TEST_F(ParallelCopyTest, FirstFailureInTheKitsOrderIsReported) {
    AddKit(6);
    parallelFrom_ = 2;
    batchSize_ = 1024;  // one batch, one run of 342 files
    for (const FaultStep kind : {FaultStep::CreateFile, FaultStep::Write, FaultStep::SetTimes, FaultStep::Close}) {
        MakeOldState(TargetPath(), 6);
        const TreeSnapshot before = Snapshot(TargetPath());
        PathFaults faults;
        faults.kind = kind;
        faults.suffixes = {"f205", "f190"};
        SetFaultHook(FailOnPaths, &faults);
        EXPECT_NE(RunJob(), 0u);
        SetFaultHook(nullptr, nullptr);
        const std::string what = "kind " + std::to_string(static_cast<int>(kind));
        EXPECT_GE(faults.fired, 1) << what;
        EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath(Name(190, 6))) << what;
        ExpectUndone(before, what);
    }
}

// Any one step failing, on either thread: the job reports it and undoes
// everything, the files the other thread wrote or placed meanwhile included.
TEST_F(ParallelCopyTest, FailureOnEitherThreadLeavesEverythingAsItWas) {
    AddKit(6);
    parallelFrom_ = 2;
    batchSize_ = 128;  // several batches, each on two threads
    for (const FaultStep kind : {FaultStep::CreateFile, FaultStep::Write, FaultStep::Close}) {
        for (const int nth : {1, 2, 60, 61, 150, 290}) {
            MakeOldState(TargetPath(), 6);
            const TreeSnapshot before = Snapshot(TargetPath());
            NthFault fault;
            fault.kind = kind;
            fault.nth = nth;
            SetFaultHook(FailNth, &fault);
            const uint32_t code = RunJob();
            SetFaultHook(nullptr, nullptr);
            const std::string what = "kind " + std::to_string(static_cast<int>(kind)) + " step " + std::to_string(nth);
            ASSERT_TRUE(fault.fired) << what;
            EXPECT_NE(code, 0u) << what;
            ExpectUndone(before, what);
        }
    }
}

// A name taken by another program before the two threads place the files:
// the job fails there, undoes the rest (what either thread placed), and the
// other program's file stays.
TEST_F(ParallelCopyTest, NameTakenMeanwhileStays) {
    AddKit(6);
    parallelFrom_ = 2;
    MakeOldState(TargetPath(), 6);
    const std::string taken = Name(389, 6);  // new in the kit
    std::once_flag once;
    onPost_ = nullptr;
    struct Intruder {
        std::string path;
        std::once_flag* once;
    } intruder{TargetPath(taken), &once};
    SetFaultHook(
        [](FaultStep step, const std::string& path, void* context) {
            Intruder& in = *static_cast<Intruder*>(context);
            if (step == FaultStep::Close && path == in.path) {
                std::call_once(*in.once, [&in] { WriteFile(in.path, "another program's"); });
            }
            return 0;
        },
        &intruder);
    const TreeSnapshot before = Snapshot(TargetPath());
    EXPECT_NE(RunJob(), 0u);
    SetFaultHook(nullptr, nullptr);
    EXPECT_EQ(job_.failure.error, EEXIST);
    EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath(taken));
    TreeSnapshot expected = before;
    expected[taken] = Snapshot(TargetPath())[taken];
    EXPECT_EQ(ReadFile(TargetPath(taken)), "another program's");
    EXPECT_EQ(Snapshot(TargetPath()), expected);
    EXPECT_TRUE(ListNames(TempPath()).empty());
}

}  // namespace
