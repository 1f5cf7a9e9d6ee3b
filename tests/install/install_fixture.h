#pragma once
// Fixture for installation tests: a private directory holding the template
// directory t/, a private temporary directory tmp/ (TMPDIR points there while
// a test runs) and a kit built by hand: the entries' bytes are written into a
// container file that is opened as the kit's container, with the entries'
// absolute offsets filled in directly.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/wstring.h"
#include "install/install_job.h"
#include "kit/distribution_kit.h"
#include "platform/fault_injection.h"
#include "platform/file_handle.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

// Whole seconds since 1970 as a file time, plus `extraTicks` (100 ns each).
FileTime TimeAt(int64_t unixSeconds, uint32_t extraTicks = 0);
int64_t ModificationTime(const std::string& path);  // whole seconds, -1 when missing
void SetModificationTime(const std::string& path, int64_t unixSeconds);

// What a directory tree holds: for each relative path, its kind, bytes and
// modification time (files only; a directory's time changes with its entries).
// A link's bytes are its text; every entry keeps its permission bits.
struct TreeEntry {
    char kind = '?';  // 'f' file, 'd' directory, 'l' link, 'o' anything else
    std::string bytes;
    int64_t mtime = 0;
    unsigned mode = 0;
    bool operator==(const TreeEntry& other) const {
        return kind == other.kind && bytes == other.bytes && mtime == other.mtime && mode == other.mode;
    }
};
std::ostream& operator<<(std::ostream& out, const TreeEntry& entry);
using TreeSnapshot = std::map<std::string, TreeEntry>;
TreeSnapshot Snapshot(const std::string& directory);
std::vector<std::string> ListNames(const std::string& directory);  // sorted, no "." and ".."

struct Post {
    uint32_t code;
    std::string text;
    uint32_t percent;
};

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string TargetPath(const std::string& relative = "") const { return root_.path("t") + "/" + relative; }
    std::string TempPath(const std::string& relative = "") const { return root_.path("tmp") + "/" + relative; }
    std::string RootPath(const std::string& relative) const { return root_.path(relative); }
    // The last run's staging directory (beside the template directory), and a path in it.
    std::string StagingPath(const std::string& relative = "") const { return job_.stagingPath + relative; }
    // The directories the last run made (its identified D records), parents
    // first, and the new files it wrote where no file was, from its journal.
    std::vector<std::string> CreatedDirectories() const;
    std::vector<std::string> NewFiles() const;
    // The names beside the template directory (the root of the fixture):
    // the fixture's own, and nothing the job left behind.
    std::vector<std::string> RootNames() const { return ListNames(root_.path("")); }

    // Entries of the next kit, in order.
    void AddEntry(const std::string& name, const std::string& bytes, FileTime time);
    // An entry whose offset and size are given as they are (relative to its
    // bytes' place in the container: `offset` past the data of earlier entries).
    void AddRawEntry(const std::string& name, uint32_t offset, uint32_t size, FileTime time);
    // Writes the container and opens it as the kit's (done by RunJob when needed).
    void BuildKit();
    // Puts a kit of `entries` over the built container in place of the kit.
    void SetEntries(std::vector<KitFileEntry> entries);
    // Runs a fresh job on the kit into `target` (the template directory by
    // default), without the final pause, recording every post.
    uint32_t RunJob();
    uint32_t RunJobInto(const std::string& target);
    // Builds the kit, writes it as a kit file and reads that back as the
    // installer reads its kit: file table first, the data area unpacked
    // while the first files are written, into a container of its own, which
    // can give bytes back.
    void ReadBackAsKitFile();
    // Discards the kit and its entries, for a second kit in the same test.
    void ResetKit();

    DistributionKit& kit() { return *kit_; }

    TempDir root_;
    std::unique_ptr<DistributionKit> kit_;
    std::string containerData_;
    std::string containerPath_;  // of the last container built
    std::vector<Post> posts_;
    InstallJob job_;  // the last run's job, with its journal
    // Entries per journalled batch of the next runs (0: the job's default).
    size_t batchSize_ = 0;
    // The smallest run written on two threads in the next runs (0: the job's default).
    size_t parallelFrom_ = 0;
    // Off: originals are moved to the staging directory's originals/, as on a
    // file system that cannot exchange two entries.
    bool exchangeOriginals_ = true;
    // The next runs give the container's bytes back as they copy (a kit copied from once).
    bool releaseCopiedBytes_ = false;
    // The next runs inflate a kit read file table first straight into the
    // files, where its layout allows.
    bool inflateIntoFiles_ = false;
    // Where the next runs' working names are numbered from: 0 names them
    // .k5stp<N>.0, .k5stp<N>.1, ...; empty draws the start at random, as the
    // installer does.
    std::optional<uint64_t> firstWorkingNumber_ = 0;
    // The next runs keep a record of what they place, as the installer does.
    bool keepRecord_ = false;
    // Called with each post, right after it has been recorded.
    std::function<void(const Post&)> onPost_;

private:
    struct PendingEntry {
        std::string name;
        uint32_t offset;
        uint32_t size;
        FileTime time;
    };
    // The entries added so far, their offsets counted from `offsetsFrom`.
    std::vector<KitFileEntry> PendingEntries(uint32_t offsetsFrom) const;
    std::vector<PendingEntry> pending_;
    bool built_ = false;
    std::optional<RedirectedDirectory> tmpdir_;
    std::optional<RedirectedDirectory> home_;
    int kitCount_ = 0;
};

// Installations that keep their record, as the installer's do, for the
// uninstall to take back; no fault hook outlives a test.
class RecordedInstallTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        keepRecord_ = true;
    }
    void TearDown() override {
        vxk5::SetFaultHook(nullptr, nullptr);
        InstallTest::TearDown();
    }
};

