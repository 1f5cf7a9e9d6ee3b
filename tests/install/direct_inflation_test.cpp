// A kit read file table first whose entries' bytes follow one another,
// inflated straight into the files: the same tree, byte for byte and time
// for time, as through its container; any other layout goes through the
// container; a damaged stream, or one that does not match the kit's check,
// fails the job before its commit, and the rollback undoes everything.

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "lang/messages.h"
#include "platform/fault_injection.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kOld = 978307200;    // 2001
constexpr int64_t kNew = 1262304000;   // 2010
constexpr int64_t kNewer = 1577836800;  // 2020
constexpr uint32_t kMiB = 1u << 20;

// Bytes with repeats in them, different for each `variant`.
std::string Bytes(size_t size, uint32_t variant) {
    std::string bytes(size, '\0');
    uint32_t state = variant * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        if (i % 64 == 0) state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>("abcdefgh\n "[(state >> ((i % 8) * 3)) % 10]);
    }
    return bytes;
}

struct File {
    const char* name;
    uint32_t size;
    uint32_t gapAfter;
};

// Files well past the few MiB unpacked with the file table: the first lie in
// the container's head, one across its end, the rest past it.
const File kFiles[] = {
    {"a.txt", 300 * 1024, 0},       {"keep.bin", 3 * kMiB / 2, 0}, {"sub/dir/new.bin", 3 * kMiB, 4096},
    {"empty", 0, 0},                {"replace.bin", 2 * kMiB, 0},  {"sub/late.bin", 4 * kMiB, 100 * 1024},
    {"z.txt", 10, 0},
};

class DirectInflationTest : public InstallTest {
protected:
    void TearDown() override {
        if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
        InstallTest::TearDown();
    }

    // A tmpfs of `size` on `directory` (which is made); false when refused.
    bool MountSmall(const std::string& directory, const char* size) {
        MakeDirectories(directory);
        const std::string options = std::string("size=") + size + ",mode=0755";
        if (::mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
        mounted_ = directory;
        return true;
    }

    std::string mounted_;

    // The container of kFiles (in the file table's order reversed when
    // `reversed`), followed by a MiB no entry needs; `data` gets each file's bytes.
    std::string Container(std::vector<std::string>& data, bool reversed = false) {
        std::vector<KitFileEntry> entries;
        std::string area;
        data.clear();
        uint32_t variant = 1;
        for (const File& file : kFiles) {
            const FileTime time = TimeAt(kNew, 1234567);
            KitFileEntry entry;
            entry.name = FromMultiByte(AString(file.name));
            entry.timeLow = time.low;
            entry.timeHigh = time.high;
            entry.offset = static_cast<uint32_t>(area.size());
            entry.size = file.size;
            data.push_back(Bytes(file.size, variant++));
            area += data.back() + std::string(file.gapAfter, '-');
            entries.push_back(entry);
        }
        area += Bytes(kMiB, 99);
        if (reversed) std::reverse(entries.begin(), entries.end());
        return kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
                                              entries) +
               area;
    }

    // The template directory as the user had it: keep.bin newer than the
    // kit's, replace.bin older, a file of the user's.
    void MakeOldState() {
        std::filesystem::remove_all(TargetPath());
        std::filesystem::create_directories(TargetPath());
        WriteFile(TargetPath("keep.bin"), "the user's newer keep\n");
        SetModificationTime(TargetPath("keep.bin"), kNewer);
        WriteFile(TargetPath("replace.bin"), "the user's older replace\n");
        SetModificationTime(TargetPath("replace.bin"), kOld);
        WriteFile(TargetPath("mine.txt"), "the user's own\n");
        SetModificationTime(TargetPath("mine.txt"), kOld);  // the same in every snapshot
    }

    // Reads the kit file at `path` as the installer does and runs a job on
    // it; `intoFiles` tells whether the job inflated into the files.
    uint32_t InstallFrom(const std::string& path, bool& intoFiles, const std::string& target = std::string()) {
        BuildKit();  // the fixture's own, replaced at once
        EXPECT_EQ(ReadKit(kit_, FromMultiByte(path), nullptr, KitReading::FileTableFirst), 0u);
        EXPECT_TRUE(kit().RestPending());
        intoFiles = false;
        onPost_ = [this, &intoFiles](const Post&) { intoFiles = intoFiles || kit().InflatingIntoFiles(); };
        const uint32_t code = target.empty() ? RunJob() : RunJobInto(target);
        onPost_ = nullptr;
        return code;
    }

    bool DamagePosted() const {
        const std::string damaged = ToMultiByteString(LoadResString("IDS_ERROR_DAMAGEDSOURCE"));
        for (const Post& post : posts_) {
            if (post.code != 0 && post.text.find(damaged) != std::string::npos) return true;
        }
        return false;
    }

    // The last run changed nothing and left nothing behind.
    void ExpectUndone(const TreeSnapshot& before, const std::string& what) {
        EXPECT_EQ(Snapshot(TargetPath()), before) << what;
        EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
        EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"})) << what;
        EXPECT_FALSE(job_.backupKept) << what;
    }
};

// A raw deflate stream of stored blocks (5 bytes of header each) of `data`.
constexpr size_t kBlock = 65535;
std::string Stored(const std::string& data) {
    std::string stored;
    for (size_t at = 0; at < data.size(); at += kBlock) {
        const size_t n = std::min(kBlock, data.size() - at);
        stored += at + n == data.size() ? '\x01' : '\x00';
        for (const size_t half : {n, ~n}) {
            stored += static_cast<char>(half & 0xFF);
            stored += static_cast<char>((half >> 8) & 0xFF);
        }
        stored.append(data, at, n);
    }
    return stored;
}

// The stored kit with the block holding container byte `at` broken: its
// length and complement disagree.
std::string BrokenAt(std::string stored, uint64_t at) {
    stored[at / kBlock * (kBlock + 5) + 3] ^= 0x01;
    return stored;
}

}  // namespace

TEST_F(DirectInflationTest, IntoTheFilesTheTreeIsTheOneTheContainerMakes) {
    std::vector<std::string> data;
    const std::string kitPath = RootPath("kits/ordered.efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(kitPath), Container(data), 1), 0u);

    TreeSnapshot trees[2];
    InstallCounts counts[2];
    for (const bool direct : {false, true}) {
        const std::string what = direct ? "into the files" : "through the container";
        inflateIntoFiles_ = direct;
        MakeOldState();
        bool intoFiles = false;
        ASSERT_EQ(InstallFrom(kitPath, intoFiles), 0u) << what;
        EXPECT_EQ(intoFiles, direct) << what;
        trees[direct] = Snapshot(TargetPath());
        counts[direct] = job_.counts;
        EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
        EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"})) << what;
    }
    EXPECT_EQ(trees[1], trees[0]);
    EXPECT_EQ(counts[1].newFiles, 5u);
    EXPECT_EQ(counts[1].replaced, 1u);
    EXPECT_EQ(counts[1].kept, 1u);
    EXPECT_EQ(counts[1].newFiles, counts[0].newFiles);
    EXPECT_EQ(counts[1].replaced, counts[0].replaced);
    EXPECT_EQ(counts[1].kept, counts[0].kept);
    // Both could be wrong alike: the bytes are the kit's.
    for (size_t i = 0; i < data.size(); ++i) {
        if (std::string(kFiles[i].name) == "keep.bin") continue;
        EXPECT_TRUE(ReadFile(TargetPath(kFiles[i].name)) == data[i]) << kFiles[i].name;
        EXPECT_EQ(ModificationTime(TargetPath(kFiles[i].name)), kNew) << kFiles[i].name;
    }
    EXPECT_EQ(ReadFile(TargetPath("keep.bin")), "the user's newer keep\n");
    EXPECT_EQ(ReadFile(TargetPath("mine.txt")), "the user's own\n");

    // The kit inflated into the files is copied from once: a second job
    // that would write fails and changes nothing.
    MakeOldState();
    const TreeSnapshot before = Snapshot(TargetPath());
    EXPECT_EQ(RunJob(), ERR_INVALID_PARAMETER);
    ExpectUndone(before, "a second job");
}

// Entries listed against the order of their bytes, and a job without the
// option: the container, as before, and the same tree.
TEST_F(DirectInflationTest, AnyOtherLayoutGoesThroughTheContainer) {
    std::vector<std::string> data;
    const std::string ordered = RootPath("kits/ordered.efd");
    const std::string reversed = RootPath("kits/reversed.efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(ordered), Container(data), 1), 0u);
    ASSERT_EQ(WriteKitFile(FromMultiByte(reversed), Container(data, true), 1), 0u);
    bool intoFiles = true;
    inflateIntoFiles_ = false;
    MakeOldState();
    ASSERT_EQ(InstallFrom(ordered, intoFiles), 0u);
    EXPECT_FALSE(intoFiles) << "not asked for";
    const TreeSnapshot expected = Snapshot(TargetPath());

    inflateIntoFiles_ = true;
    MakeOldState();
    ASSERT_EQ(InstallFrom(reversed, intoFiles), 0u);
    EXPECT_FALSE(kit().EntriesFollowOneAnother());
    EXPECT_FALSE(intoFiles);
    EXPECT_EQ(Snapshot(TargetPath()), expected);
}

// A stream damaged inside a file's bytes or after the last of them, cut
// short, or whole but not the one its check was made of: the job fails as
// a damaged kit before its commit, and everything is as it was.
TEST_F(DirectInflationTest, DamageInTheStreamFailsTheJobBeforeItsCommit) {
    std::vector<std::string> data;
    const std::string container = Container(data);
    uint64_t dataStart = container.size();
    for (const std::string& bytes : data) dataStart -= bytes.size();
    for (const File& file : kFiles) dataStart -= file.gapAfter;
    dataStart -= kMiB;
    const uint64_t inLate = dataStart + 300 * 1024 + 3 * kMiB / 2 + 3 * kMiB + 4096 + 2 * kMiB + kMiB;
    ASSERT_TRUE(container.substr(inLate, 64) == data[5].substr(kMiB, 64)) << "sub/late.bin's place";
    const std::string stored = Stored(container);

    // Stored blocks with a check after them, one byte of sub/late.bin changed.
    const std::string checkedPath = RootPath("kits/checked.efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(checkedPath), container, 0), 0u);
    std::string mismatched = ReadFile(checkedPath);
    const size_t at = mismatched.find(data[5].substr(kMiB, 64));
    ASSERT_NE(at, std::string::npos);
    mismatched[at] ^= 0x20;

    const struct {
        const char* what;
        std::string kit;
    } cases[] = {
        {"broken inside sub/late.bin", BrokenAt(stored, inLate)},
        {"broken after the last file", BrokenAt(stored, container.size() - kMiB / 2)},
        {"cut inside sub/late.bin", stored.substr(0, inLate / kBlock * (kBlock + 5))},
        {"not the stream of its check", mismatched},
    };
    inflateIntoFiles_ = true;
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = RootPath("kits/damaged" + std::to_string(n++) + ".efd");
        WriteFile(path, c.kit);
        MakeOldState();
        const TreeSnapshot before = Snapshot(TargetPath());
        bool intoFiles = false;
        EXPECT_EQ(InstallFrom(path, intoFiles), ERR_INVALID_DATA) << c.what;
        EXPECT_TRUE(intoFiles) << c.what;
        EXPECT_TRUE(job_.kitDamaged) << c.what;
        EXPECT_TRUE(DamagePosted()) << c.what;
        ExpectUndone(before, c.what);
    }
}

// A write failing anywhere in the stream (the file system full): the job
// reports it and undoes everything.
TEST_F(DirectInflationTest, AFailedWriteUndoesEverything) {
    std::vector<std::string> data;
    const std::string kitPath = RootPath("kits/ordered.efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(kitPath), Container(data), 1), 0u);
    inflateIntoFiles_ = true;
    struct NthWrite {
        int nth = 0;
        int seen = 0;
        bool fired = false;
    };
    const auto hook = [](FaultStep step, const std::string&, void* context) {
        NthWrite& f = *static_cast<NthWrite*>(context);
        if (step != FaultStep::Write || ++f.seen != f.nth) return 0;
        f.fired = true;
        return ENOSPC;
    };
    // The writes of a whole installation, counted.
    NthWrite counted;
    SetFaultHook(hook, &counted);
    MakeOldState();
    bool counting = false;
    ASSERT_EQ(InstallFrom(kitPath, counting), 0u);
    SetFaultHook(nullptr, nullptr);
    ASSERT_GE(counted.seen, 3);
    // The first, one in the middle and the last.
    for (const int nth : {1, counted.seen / 2, counted.seen}) {
        NthWrite fault;
        fault.nth = nth;
        SetFaultHook(hook, &fault);
        MakeOldState();
        const TreeSnapshot before = Snapshot(TargetPath());
        bool intoFiles = false;
        const uint32_t code = InstallFrom(kitPath, intoFiles);
        SetFaultHook(nullptr, nullptr);
        const std::string what = "write " + std::to_string(nth);
        ASSERT_TRUE(fault.fired) << what;
        EXPECT_NE(code, 0u) << what;
        EXPECT_TRUE(intoFiles) << what;
        EXPECT_EQ(job_.failure.error, ENOSPC) << what;
        EXPECT_FALSE(job_.kitDamaged) << what;
        ExpectUndone(before, what);
    }
}

// Straight into the files, the data area needs room on the template
// directory's file system: a batch it cannot hold is refused before any of
// its files is made, and the failure names the template directory. Through
// the container, the same job finds out only as a file fills it.
TEST_F(DirectInflationTest, ABatchTheTemplateFileSystemCannotHoldIsRefusedBeforeItsFiles) {
    const std::string target = RootPath("small-target");
    if (!MountSmall(target, "4m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    std::vector<std::string> data;
    const std::string kitPath = RootPath("kits/ordered.efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(kitPath), Container(data), 1), 0u);  // about 11 MB of files
    WriteFile(target + "/mine.txt", "the user's own\n");
    SetModificationTime(target + "/mine.txt", kOld);
    const TreeSnapshot before = Snapshot(target);
    for (const bool direct : {true, false}) {
        const std::string what = direct ? "into the files" : "through the container";
        inflateIntoFiles_ = direct;
        int created = 0;
        SetFaultHook(
            [](FaultStep step, const std::string&, void* context) {
                if (step == FaultStep::CreateFile) ++*static_cast<int*>(context);
                return 0;
            },
            &created);
        bool intoFiles = false;
        const uint32_t code = InstallFrom(kitPath, intoFiles, target + "/");
        SetFaultHook(nullptr, nullptr);
        EXPECT_EQ(code, ERR_INVALID_PARAMETER) << what;
        EXPECT_EQ(intoFiles, direct) << what;
        EXPECT_EQ(job_.failure.error, ENOSPC) << what;
        EXPECT_EQ(created == 0, direct) << what << ": " << created << " files made";
        EXPECT_FALSE(job_.kitDamaged) << what;
        ASSERT_FALSE(posts_.empty()) << what;
        EXPECT_EQ(posts_.back().text,
                  "Installation error\nInsufficient space available in the template directory: " + target + "/")
            << what;
        EXPECT_EQ(Snapshot(target), before) << what;
        EXPECT_TRUE(ListNames(TempPath()).empty()) << what;
    }
}
