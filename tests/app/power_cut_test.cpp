// The real installer updating a template directory on powercut_fs
// (tests/support/powercut_fs.cpp), with the power cut at one mutating
// operation after another: after the cut, /tmp is empty (as after a reboot),
// the next start of the program (with no kit beside it, so that it only
// recovers) runs on the image of the cut, and the template directory must
// then be exactly the old one or exactly the new one: names, bytes, times,
// modes, links, and no working name (.k5stp<N>.<M>) left in it. A cut after
// the commit record (in the purge of the replaced originals, the removal of
// the journal and of the staging directory) must end exactly new. A file of
// 0 bytes where neither has one is the classic sign of data that was renamed
// into place before it was durable.
//
// The cuts run on both of powercut_fs's disks: one that keeps its directory
// operations in order (a journalling file system), and one that keeps of the
// directory operations not followed by a sync of their directory or of the
// file system a random part, directory by directory (ext2, ext4 without a
// journal); the number its choices are drawn from is VXK5_POWERCUT_CHOICES (1 unless given) plus the cut's
// number, and a failure names both. And they run on both of the installer's
// ways to make its changes durable: FUSE as it is, where the installer syncs
// each file and directory, and FUSE presented to the installer as ext4
// (powercut_syncfs_shim), where it takes the path every disk gets, one
// syncfs before the commit record, which the shim turns into the file
// system's "everything written so far is durable". A larger kit (three
// batches of the journal, names that two entries share, the later one
// winning, across batches and within one) is cut on that path.
//
// The home directory is the mount, so whatever the installer keeps there to
// find an unfinished installation again is subject to the cut as well.
// The cut points are a spread over the run plus the syncs, the commit record
// and a spread after it; VXK5_POWERCUT_EVERY=1 cuts at every operation
// instead, VXK5_POWERCUT_AT=K only at K, VXK5_POWERCUT_KEEP=DIR keeps the
// image, and VXK5_POWERCUT_FILES=N makes the first kit N files.
//
// The installer is also killed at one call after another that changes a
// file system, whichever thread makes it (powercut_kill_shim: one count for
// the whole process, so the second writing thread and the thread that
// unpacks the kit are killed at too), on powercut_fs (where it syncs each
// file) and on an ordinary file system (where it syncs the file system
// once); the next start finds either an emptied temporary directory or
// another one: old or new exactly, every time. The kill points are a spread
// over the calls of each thread; VXK5_POWERCUT_EVERY=1 kills at every call,
// each with both kinds of next start.
//
// As root the whole sandbox is on a tmpfs: the disk the tests share is slow
// and noisy under load, and a campaign starts the installer hundreds of
// times.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "base/conversion.h"
#include "installer_run.h"
#include "kit/container_encoder.h"
#include "kit/kit_writer.h"
#include "tests/app/tree_state.h"
#include "tests/support/powercut_mount.h"
#include "tests/support/tiny_tmpfs.h"

namespace fs = std::filesystem;

namespace {

constexpr time_t kOld = 978307200;     // 2001
constexpr time_t kNew = 1262304000;    // 2010
constexpr time_t kNewer = 1577836800;  // 2020
constexpr time_t kLater = 1609459200;  // 2021: the second entry of a shared name
constexpr char kTemplates[] = ".vxk5/Vx/vxk5/tmplts";
// The large kit: enough entries written for three batches of the journal
// (256, then 512, then the rest).
constexpr int kLargeEntries = 1100;
// More than the unpacking takes in with the file table (a few MiB).
constexpr size_t kPastHeadBytes = 6u << 20;
#if defined(__SANITIZE_ADDRESS__)
// The instrumented program is slower: fewer files and cut points keep the
// sanitizer run to the same time.
constexpr int kFiles = 60;
constexpr size_t kSpread = 60;
constexpr size_t kSyncPoints = 8;
constexpr size_t kAfterCommitPoints = 4;
constexpr size_t kLargeSpread = 6;
constexpr size_t kUnorderedSpread = 12;
constexpr int kKillFiles = 96;
constexpr size_t kKillsPerThread = 8;
constexpr int kUninstallFiles = 18;
constexpr long kUninstallEvery = 30;
constexpr size_t kUninstallSpread = 18;
constexpr int kUninstallKillFiles = 96;
#else
constexpr int kFiles = 200;
constexpr size_t kSpread = 200;
constexpr size_t kSyncPoints = 20;
constexpr size_t kAfterCommitPoints = 8;
constexpr size_t kLargeSpread = 40;
constexpr size_t kUnorderedSpread = 40;
constexpr int kKillFiles = 240;
constexpr size_t kKillsPerThread = 30;
// A's files, for the uninstall's cuts; up to kUninstallEvery operations
// every one is cut at, else kUninstallSpread spread over them and a third
// as many over those after the commit record, with the points that matter.
constexpr int kUninstallFiles = 30;
constexpr long kUninstallEvery = 40;
constexpr size_t kUninstallSpread = 36;
// The uninstall killed at every call: a few hundred files.
constexpr int kUninstallKillFiles = 300;
#endif

void SetTime(const std::string& path, time_t seconds, bool link = false) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, link ? AT_SYMLINK_NOFOLLOW : 0), 0) << path;
}

// Lines of `a` that `b` lacks, the first few.
std::string Missing(const std::string& a, const std::string& b, const char* label) {
    std::set<std::string> other;
    std::istringstream bs(b);
    for (std::string line; std::getline(bs, line);) other.insert(line);
    std::ostringstream out;
    std::istringstream as(a);
    int shown = 0;
    for (std::string line; std::getline(as, line) && shown < 4;) {
        if (other.count(line) == 0) {
            out << "  " << label << ": " << line.substr(0, 160) << "\n";
            ++shown;
        }
    }
    return out.str();
}

// Working names (.k5stp<N>.<M>) anywhere below `root`, relative.
std::vector<std::string> WorkingNames(const std::string& root) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const size_t dot = name.find('.', 6);
        if (name.rfind(".k5stp", 0) == 0 && dot != std::string::npos && dot > 6 &&
            name.find_first_not_of("0123456789", 6) == dot && dot + 1 < name.size() &&
            name.find_first_not_of("0123456789", dot + 1) == std::string::npos) {
            found.push_back(it->path().lexically_relative(root).string());
        }
    }
    return found;
}

struct Operation {
    long number = 0;
    std::string kind;
    std::string path;
};

struct OperationLog {
    std::vector<Operation> operations;
    long total = 0;           // "end N": the run was not cut
    std::string cut;          // "cut K kind path"
    std::vector<std::string> lost;  // "lost K path": the second model's losses
};

OperationLog ReadLog(const std::string& path) {
    OperationLog log;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "end") {
            fields >> log.total;
        } else if (first == "cut") {
            log.cut = line;
        } else if (first == "lost" || first == "gone") {
            log.lost.push_back(line);
        } else if (first == "planted") {
            continue;
        } else {
            Operation operation;
            operation.number = std::atol(first.c_str());
            fields >> operation.kind;
            std::getline(fields, operation.path);
            if (!operation.path.empty() && operation.path[0] == ' ') operation.path.erase(0, 1);
            log.operations.push_back(operation);
        }
    }
    return log;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsSync(const std::string& kind) {
    return kind == "fsync" || kind == "fdatasync" || kind == "syncfs" || kind == "fsyncdir";
}

// `count` points spread evenly over [from, to].
void Spread(std::set<long>& points, long from, long to, size_t count) {
    if (to < from || count == 0) return;
    if (count == 1 || to == from) {
        points.insert(from);
        return;
    }
    for (size_t k = 0; k < count; ++k) {
        points.insert(from + static_cast<long>(k) * (to - from) / static_cast<long>(count - 1));
    }
}

// Which cuts a campaign makes: all, those up to the commit record's sync
// (old or new), or those after it and after the run's end (new).
enum class Scope { Whole, UntilCommit, AfterCommit };

// How a campaign of cuts runs: the disk's model, the installer's way to make
// its changes durable, and how many cut points of each kind.
struct Campaign {
    const char* label;
    bool unordered = false;  // the second model: directory operations kept at random unless synced
    bool syncfsPath = false; // FUSE shown to the installer as ext4: its one syncfs
    size_t spread = 0;       // evenly over the run
    size_t syncPoints = 0;   // syncs, and the operation after each
    size_t afterCommit = 0;  // evenly over the operations after the commit record
    Scope scope = Scope::Whole;
};

// The first operations after the commit record's sync, every one of them
// cut at (the purge begins there, on two threads).
constexpr long kFirstAfterCommit = 16;

// The sandbox on a tmpfs where one can be mounted (as root): the disk the
// tests share is slow and noisy under load, and a campaign starts the
// installer hundreds of times. Elsewhere it stays where it is.
class SandboxOnTmpfs : public InstallerRun {
protected:
    void MoveToTmpfs() {
        if (::geteuid() != 0) return;
        auto fast = std::make_unique<TinyTmpfs>(temp_.path(), "1g");
        if (!fast->Mounted()) return;
        fast_ = std::move(fast);
        MakeSandbox();
    }

private:
    std::unique_ptr<TinyTmpfs> fast_;  // unmounted before temp_ goes
};

class PowerCut : public SandboxOnTmpfs {
protected:
    void SetUp() override {
        unavailable_ = PowerCutMount::Unavailable(VXK5_POWERCUT_FS);
        if (!unavailable_.empty()) GTEST_SKIP() << unavailable_;
        MoveToTmpfs();
        // An instrumented program does not mind the shim coming first.
        std::string asan = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
        ::setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
        environment_ = {"LD_PRELOAD=" + std::string(VXK5_POWERCUT_SHIM), "VXK5_POWERCUT_MOUNTS=" + Home()};
        ::umask(022);
        if (const char* choices = std::getenv("VXK5_POWERCUT_CHOICES")) choices_ = std::strtoull(choices, nullptr, 10);
    }

    std::string Disk() const { return temp_.path("disk"); }
    std::string Pristine() const { return temp_.path("pristine"); }

    // The old template directory (below `home`) and the kit's source: files
    // replaced (plain, read-only, set-gid, one with a hard link), kept (newer
    // than the kit), left alone (not in the kit), a link to an older file and
    // a dangling link replaced, and new files in new directories.
    void MakeOldAndKit(const std::string& home, int files = kFiles) {
        const std::string templates = home + "/" + kTemplates;
        const std::string source = temp_.path("src");
        MakeDirectories(templates);
        MakeDirectories(source);
        for (int i = 0; i < files; ++i) {
            const std::string name = Name(i);
            const std::string newBytes =
                "new " + std::to_string(i) + " " + std::string(static_cast<size_t>(i * 7 % 900), 'n');
            MakeDirectories(source + "/" + name.substr(0, name.rfind('/')));
            WriteFile(source + "/" + name, newBytes);
            SetTime(source + "/" + name, kNew);
            if (i % 3 == 2) continue;  // new
            MakeDirectories(templates + "/" + name.substr(0, name.rfind('/')));
            WriteFile(templates + "/" + name,
                      "old " + std::to_string(i) + std::string(static_cast<size_t>(i % 50), 'o'));
            SetTime(templates + "/" + name, i % 10 == 0 ? kNewer : kOld);
        }
        ASSERT_EQ(::chmod((templates + "/" + Name(1)).c_str(), 0444), 0);
        ASSERT_EQ(::chmod((templates + "/" + Name(3)).c_str(), 02755), 0);
        ASSERT_EQ(::link((templates + "/" + Name(4)).c_str(), (templates + "/hardlink-to-4").c_str()), 0);
        WriteFile(templates + "/not-in-kit.txt", "mine");
        SetTime(templates + "/not-in-kit.txt", kOld);
        WriteFile(templates + "/pointed.txt", "pointed at");
        SetTime(templates + "/pointed.txt", kOld);
        ASSERT_EQ(::symlink("pointed.txt", (templates + "/link.txt").c_str()), 0);
        ASSERT_EQ(::symlink("nowhere", (templates + "/dangling.txt").c_str()), 0);
        SetTime(templates + "/link.txt", kOld, true);
        SetTime(templates + "/dangling.txt", kOld, true);
        MakeDirectories(source + "/doc");
        WriteFile(source + "/doc/readme.html", "<html><body>Power cut</body></html>\n");
        SetTime(source + "/doc/readme.html", kNew);
        for (const char* name : {"link.txt", "dangling.txt"}) {
            WriteFile(source + "/" + name, std::string("kit ") + name);
            SetTime(source + "/" + name, kNew);
        }
    }
    static std::string Name(int i) {
        return i % 3 == 2 ? "fresh" + std::to_string(i % 4) + "/deep/f" + std::to_string(i) + ".tpl"
                          : "dir" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".tpl";
    }

    struct KitFile {
        std::string name;  // with "/"
        std::string bytes;
        time_t time;
    };

    // The kit beside the program, of `files` in that order (two of the same
    // name allowed), made with the kit library.
    void WriteKitOf(const std::vector<KitFile>& files) {
        std::vector<vxk5::KitFileEntry> entries;
        std::string data;
        for (const KitFile& file : files) {
            std::string name = file.name;
            std::replace(name.begin(), name.end(), '/', '\\');
            const uint64_t ticks = (static_cast<uint64_t>(file.time) + 11644473600ull) * 10000000ull;
            vxk5::KitFileEntry entry;
            entry.name = vxk5::FromMultiByte(name);
            entry.timeLow = static_cast<uint32_t>(ticks);
            entry.timeHigh = static_cast<uint32_t>(ticks >> 32);
            entry.offset = static_cast<uint32_t>(data.size());
            entry.size = static_cast<uint32_t>(file.bytes.size());
            data += file.bytes;
            entries.push_back(entry);
        }
        std::string container = vxk5::kitformat::EncodeContainerHead(
            vxk5::kitformat::DescriptionForm::LanguageList, {{u"en", u"Power cut", u"Example Ltd", u"doc\\readme.html"}},
            entries);
        container += data;
        ASSERT_EQ(vxk5::WriteKitFile(vxk5::FromMultiByte(Kit()), container), 0u);
    }

    // The large update: kLargeEntries entries in directories of 64 (so that
    // both writing threads take part), of which a third are new (some in
    // new directories), a tenth kept (the originals are newer) and the rest
    // replacements; and names that two entries share, the later one newer:
    // one over an original, its entries in the first batch and the third;
    // one new, likewise; and one whose entries follow each other, so that
    // the second waits for the next batch.
    void MakeLargeOldAndKit(const std::string& home) {
        const std::string templates = home + "/" + kTemplates;
        MakeDirectories(templates + "/shared");
        std::vector<KitFile> files;
        for (int i = 0; i < kLargeEntries; ++i) {
            const int block = i / 64;
            const std::string directory = block >= 14 ? "new" + std::to_string(block) + "/inner" : "d" + std::to_string(block);
            const std::string name = directory + "/f" + std::to_string(i) + ".tpl";
            files.push_back({name, "new " + std::to_string(i) + std::string(static_cast<size_t>(i % 97), 'n'), kNew});
            if (block >= 14 || i % 3 == 2) continue;
            MakeDirectories(templates + "/" + directory);
            WriteFile(templates + "/" + name, "old " + std::to_string(i));
            SetTime(templates + "/" + name, i % 10 == 0 ? kNewer : kOld);
        }
        WriteFile(templates + "/shared/over-original.tpl", "the original");
        SetTime(templates + "/shared/over-original.tpl", kOld);
        WriteFile(templates + "/not-in-kit.txt", "mine");
        SetTime(templates + "/not-in-kit.txt", kOld);
        const auto at = [&files](size_t index, const KitFile& file) {
            files.insert(files.begin() + static_cast<std::ptrdiff_t>(index), file);
        };
        at(10, {"shared/over-original.tpl", "first of two, over the original", kNew});
        at(20, {"shared/fresh.tpl", "first of two, new", kNew});
        at(400, {"shared/adjacent.tpl", "first of two, side by side", kNew});
        at(401, {"shared/adjacent.tpl", "second of two, side by side", kLater});
        at(1000, {"shared/over-original.tpl", "second of two, over the original", kLater});
        at(1050, {"shared/fresh.tpl", "second of two, new", kLater});
        files.push_back({"doc/readme.html", "<html><body>Power cut</body></html>\n", kNew});
        WriteKitOf(files);
    }

    // One start of the installer; with `recoverOnly` the kit is put out of
    // its reach, so that the start recovers and then stops for want of a kit.
    void RunInstaller(bool recoverOnly) {
        const std::string away = Kit() + ".away";
        if (recoverOnly) {
            ASSERT_EQ(::rename(Kit().c_str(), away.c_str()), 0);
        }
        Start({"/S"}, false);
        (void)Finish(120);
        child_.reset();
        if (recoverOnly) {
            ASSERT_EQ(::rename(away.c_str(), Kit().c_str()), 0);
        }
    }

    void EmptyTemporaryDirectory() {
        RemoveAll(Tmp());
        MakeDirectories(Tmp());
    }

    // The old and new states: the pristine tree, and the same update on a
    // plain directory with no cut.
    void OldAndNew(std::string& oldState, std::string& newState) {
        oldState = TreeState(Pristine() + "/" + kTemplates);
        ASSERT_TRUE(CopyTree(Pristine(), Home()));
        RunInstaller(false);
        newState = TreeState(Home() + "/" + kTemplates);
        ASSERT_TRUE(newState != oldState) << Errors();
        RemoveAll(Home());
        MakeDirectories(Home());
    }

    // powercut_fs's arguments for the model, with the choices of this cut.
    std::vector<std::string> ModelArguments(bool unordered, uint64_t choices) const {
        if (!unordered) return {};
        return {"--unordered", std::to_string(choices)};
    }

    // The disk as the pristine old state, an installation cut at `cutAt`
    // (0: after it ended), /tmp lost, a recovering start; the template
    // directory's state afterwards. `log` gets the cut run's operations.
    std::string CutAndRecover(long cutAt, const std::string& log, bool unordered = false, uint64_t choices = 0) {
        EXPECT_TRUE(CopyTree(Pristine(), Disk()));
        EmptyTemporaryDirectory();
        {
            PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), cutAt, log, false, ModelArguments(unordered, choices));
            if (!mount.Mounted()) {
                ADD_FAILURE() << "powercut_fs did not mount";
                return std::string();
            }
            RunInstaller(false);
            EXPECT_TRUE(mount.Unmount());
        }
        EmptyTemporaryDirectory();
        // VXK5_POWERCUT_KEEP=DIR keeps a copy of the image for a look.
        if (const char* keep = std::getenv("VXK5_POWERCUT_KEEP")) {
            EXPECT_TRUE(CopyTree(Disk(), keep));
        }
        return RecoverOnTheImage(unordered, choices);
    }

    // The image mounted again (a device of the same kind, as after a
    // reboot), a recovering start, and the power cut once more after it:
    // what it put back must be durable too. The template directory's state.
    std::string RecoverOnTheImage(bool unordered, uint64_t choices) {
        {
            PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), 0, std::string(), false,
                                ModelArguments(unordered, choices + 7777));
            if (!mount.Mounted()) {
                ADD_FAILURE() << "powercut_fs did not mount the image";
                return std::string();
            }
            RunInstaller(true);
            EXPECT_TRUE(mount.Unmount());
        }
        return TreeState(Disk() + "/" + kTemplates);
    }

    // Cuts the update at the campaign's points; every one must end old or
    // new, and every one after the commit record new.
    void RunCampaign(const Campaign& campaign, const std::string& oldState, const std::string& newState) {
        const auto started = std::chrono::steady_clock::now();
        const std::vector<std::string> saved = environment_;
        if (campaign.syncfsPath) environment_.push_back("VXK5_POWERCUT_AS_EXT4=1");
        const std::string name = campaign.label;

        // The whole run, cut only after the program has ended (it has said
        // "installed"): the new state, every byte of it durable.
        const std::string countLog = temp_.path("count.log");
        const std::string afterEnd = CutAndRecover(0, countLog, campaign.unordered, choices_);
        const OperationLog counted = ReadLog(countLog);
        const bool untilCommit = campaign.scope == Scope::UntilCommit;
        const bool afterCommit = campaign.scope == Scope::AfterCommit;
        EXPECT_TRUE(untilCommit || afterEnd == newState) << name << ": a power cut after a successful run loses part of it (choices "
                                      << choices_ << "):\n"
                                      << Missing(newState, afterEnd, "lost") << Missing(afterEnd, newState, "instead")
                                      << Working(afterEnd) << Lost(counted)
                                      << "empty files: " << EmptyFiles(Disk() + "/" + kTemplates).size();
        const long total = counted.total;
        ASSERT_GT(total, 0) << "no mutating operation was counted";

        // The installer took the way asked for: one syncfs before the commit
        // record and no sync of each new file, or a sync of each.
        const std::string journal = "/journal";
        long commit = 0;
        long commitSync = 0;
        size_t syncfs = 0;
        size_t fileSyncs = 0;
        for (const Operation& operation : counted.operations) {
            if (operation.kind == "write" && EndsWith(operation.path, journal)) commit = operation.number;
        }
        for (const Operation& operation : counted.operations) {
            if (operation.number < commit) {
                if (operation.kind == "syncfs") ++syncfs;
                if ((operation.kind == "fsync" || operation.kind == "fdatasync") &&
                    operation.path.find("/tmplts/") != std::string::npos) {
                    ++fileSyncs;
                }
            }
            if (operation.number > commit && commitSync == 0 && IsSync(operation.kind) &&
                EndsWith(operation.path, journal)) {
                commitSync = operation.number;
            }
        }
        ASSERT_GT(commit, 0) << name << ": no write of the journal was seen";
        ASSERT_GT(commitSync, 0) << name << ": the commit record was never synced";
        if (campaign.syncfsPath) {
            EXPECT_GE(syncfs, 1u) << name << ": no syncfs before the commit record";
            EXPECT_EQ(fileSyncs, 0u) << name << ": new files were synced one by one";
        } else {
            EXPECT_GT(fileSyncs, 0u) << name << ": no new file was synced";
        }

        std::set<long> points;
        const bool every = std::getenv("VXK5_POWERCUT_EVERY") != nullptr;
        if (const char* only = std::getenv("VXK5_POWERCUT_AT")) {
            points.insert(std::atol(only));  // one cut, to look into
        } else if (every || total <= static_cast<long>(campaign.spread) + 40) {
            for (long k = 1; k <= total; ++k) points.insert(k);
        } else if (afterCommit) {
            for (long k = commitSync + 1; k <= std::min(total, commitSync + kFirstAfterCommit); ++k) points.insert(k);
            Spread(points, commitSync + 1, total, campaign.afterCommit);
            for (const Operation& operation : counted.operations) {
                if (operation.number > commitSync &&
                    (EndsWith(operation.path, journal) || operation.kind == "rmdir" || IsSync(operation.kind))) {
                    points.insert(operation.number);
                    points.insert(operation.number + 1);
                }
            }
            points.erase(total + 1);
        } else {
            Spread(points, 1, total, campaign.spread);
            // Syncs (evenly chosen) and the operation after each, where what
            // is durable changes; every syncfs.
            std::vector<long> syncs;
            for (const Operation& operation : counted.operations) {
                if (IsSync(operation.kind)) syncs.push_back(operation.number);
                if (operation.kind == "syncfs") {
                    points.insert(operation.number);
                    points.insert(operation.number + 1);
                }
            }
            const size_t chosen = std::min(syncs.size(), campaign.syncPoints);
            for (size_t k = 0; k < chosen; ++k) {
                const long sync = syncs[chosen == 1 ? 0 : k * (syncs.size() - 1) / (chosen - 1)];
                points.insert(sync);
                if (sync < total) points.insert(sync + 1);
            }
            // The commit record: its write, its sync, and what follows: the
            // purge, the journal's and the staging directory's removal.
            for (const long k : {commit, commitSync, commitSync + 1}) points.insert(k);
            Spread(points, commitSync + 1, total, campaign.afterCommit);
            for (const Operation& operation : counted.operations) {
                if (operation.number > commitSync &&
                    (EndsWith(operation.path, journal) || operation.kind == "rmdir" || IsSync(operation.kind))) {
                    points.insert(operation.number);
                    points.insert(operation.number + 1);
                }
            }
            points.erase(total + 1);
        }
        if (std::getenv("VXK5_POWERCUT_AT") == nullptr) {
            if (untilCommit) points.erase(points.upper_bound(commitSync), points.end());
            if (afterCommit) points.erase(points.begin(), points.upper_bound(commitSync));
        }

        int failures = 0;
        int oldCount = 0;
        int newCount = 0;
        for (const long cutAt : points) {
            const std::string log = temp_.path("cut.log");
            const uint64_t choices = choices_ + static_cast<uint64_t>(cutAt);
            const std::string after = CutAndRecover(cutAt, log, campaign.unordered, choices);
            const bool committed = cutAt > commitSync;
            if (after == oldState && !committed) {
                ++oldCount;
                continue;
            }
            if (after == newState) {
                ++newCount;
                continue;
            }
            ++failures;
            if (failures <= 5) {
                const OperationLog cut = ReadLog(log);
                const std::vector<std::string> empty = EmptyFiles(Disk() + "/" + kTemplates);
                ADD_FAILURE() << name << ": power cut at operation " << cutAt << " of " << total << " (" << cut.cut
                              << (committed ? ", after the commit record" : "") << ")"
                              << (campaign.unordered ? ", choices " + std::to_string(choices) : std::string())
                              << ": after the recovery the template directory is "
                              << (committed && after == oldState ? "old" : "neither old nor new") << "\n"
                              << Missing(oldState, after, "old, lost") << Missing(newState, after, "new, lost")
                              << Missing(after, oldState, "there") << Working(after) << Lost(cut)
                              << "files of 0 bytes: " << empty.size()
                              << (empty.empty() ? "" : " (" + empty.front() + ", ...)") << "\nrecovery's output: "
                              << Errors().substr(0, 400) << "\nagain: VXK5_POWERCUT_AT=" << cutAt
                              << " VXK5_POWERCUT_CHOICES=" << choices_;
            }
        }
        EXPECT_EQ(failures, 0) << name << ": " << failures << " of " << points.size()
                               << " cut points ended neither old nor new (or old after the commit record)";
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
        std::printf("power cut, %s: %zu cut points of %ld operations (commit record synced at %ld), %d old, %d new, "
                    "%d failed, %.1f s\n",
                    name.c_str(), points.size(), total, commitSync, oldCount, newCount, failures, taken.count());
        environment_ = saved;
    }

    // What a failure message says of working names in the image's template directory.
    std::string Working(const std::string& state) const {
        const std::vector<std::string> names = WorkingNames(Disk() + "/" + kTemplates);
        if (names.empty() || state.empty()) return std::string();
        std::ostringstream out;
        out << "  working names left: " << names.size() << " (" << names.front() << (names.size() > 1 ? ", ...)" : ")")
            << "\n";
        return out.str();
    }
    static std::string Lost(const OperationLog& log) {
        if (log.lost.empty()) return std::string();
        std::ostringstream out;
        out << "  directory operations lost: " << log.lost.size() << ", the first:";
        for (size_t k = 0; k < log.lost.size() && k < 6; ++k) out << " [" << log.lost[k] << "]";
        out << "\n";
        return out.str();
    }

    std::string unavailable_;
    uint64_t choices_ = 1;
};

// The first update on the disk that keeps its directory operations in order,
// with a sync of each file and directory (FUSE as it is).
TEST_F(PowerCut, UpdateCutAtEveryMutatingOperationIsOldOrNewAfterRecovery) {
    const char* files = std::getenv("VXK5_POWERCUT_FILES");  // another size, to look into
    MakeOldAndKit(Pristine(), files != nullptr ? std::atoi(files) : kFiles);
    MakeKit(temp_.path("src"));
    std::string oldState, newState;
    OldAndNew(oldState, newState);
    ASSERT_NE(newState.find("/f2.tpl mode "), std::string::npos) << Errors();
    RunCampaign({"ordered directories, a sync per file", false, false, kSpread, kSyncPoints, kAfterCommitPoints},
                oldState, newState);
}

// The same update on the disk that keeps a random part of its unsynced
// directory operations, on both of the installer's ways, up to the commit
// record's sync.
TEST_F(PowerCut, UpdateWithUnorderedDirectoryOperationsIsOldOrNewUntilTheCommitRecord) {
    MakeOldAndKit(Pristine(), kFiles);
    MakeKit(temp_.path("src"));
    std::string oldState, newState;
    OldAndNew(oldState, newState);
    RunCampaign({"unordered directories, a sync per file", true, false, kUnorderedSpread, kSyncPoints / 2, 0,
                 Scope::UntilCommit},
                oldState, newState);
}

TEST_F(PowerCut, UpdateOnTheSyncfsPathWithUnorderedDirectoryOperationsIsOldOrNewUntilTheCommitRecord) {
    MakeOldAndKit(Pristine(), kFiles);
    MakeKit(temp_.path("src"));
    std::string oldState, newState;
    OldAndNew(oldState, newState);
    RunCampaign({"unordered directories, one syncfs", true, true, kUnorderedSpread, kSyncPoints / 2, 0,
                 Scope::UntilCommit},
                oldState, newState);
}

// After the commit record, on the disk that keeps a random part of its
// unsynced directory operations, the installation must stand whole: the
// purge's removals of the replaced originals reach the disk before the
// staging directory's removal does (or the originals come back under their
// working names with no journal left), and with a sync per file a directory
// made in a new directory of its own (fresh1/deep) is synced into it.
TEST_F(PowerCut, UpdateWithUnorderedDirectoryOperationsIsNewAfterTheCommitRecord) {
    MakeOldAndKit(Pristine(), kFiles);
    MakeKit(temp_.path("src"));
    std::string oldState, newState;
    OldAndNew(oldState, newState);
    RunCampaign({"unordered directories, a sync per file, after the commit record", true, false, 0, 0,
                 kAfterCommitPoints, Scope::AfterCommit},
                oldState, newState);
    RunCampaign({"unordered directories, one syncfs, after the commit record", true, true, 0, 0, kAfterCommitPoints,
                 Scope::AfterCommit},
                oldState, newState);
}

// The large kit (three batches of the journal, names two entries share) on
// the path of every disk: one syncfs before the commit record.
class PowerCutLarge : public PowerCut {
protected:
    void SetUp() override {
        PowerCut::SetUp();
        if (IsSkipped()) return;
        MakeLargeOldAndKit(Pristine());
        OldAndNew(oldState_, newState_);
        // The later of two entries of a name wins, whichever batch each is in.
        EXPECT_NE(newState_.find("[second of two, over the original]"), std::string::npos);
        EXPECT_NE(newState_.find("[second of two, new]"), std::string::npos);
        EXPECT_NE(newState_.find("[second of two, side by side]"), std::string::npos);
        EXPECT_EQ(newState_.find("[first of two"), std::string::npos);
    }
    std::string oldState_, newState_;
};

TEST_F(PowerCutLarge, ThreeBatchesOnTheSyncfsPathCutIsOldOrNewUntilTheCommitRecord) {
    RunCampaign({"ordered directories, one syncfs, three batches", false, true, kLargeSpread, kSyncPoints / 2, 0,
                 Scope::UntilCommit},
                oldState_, newState_);
}

// After the commit record the installation must stand whole. The recovery
// that finishes a committed journal's purge removes an original waiting
// under its working name when the name beside it holds one of the files the
// transaction wrote there: a later entry of the same name may have replaced
// the file the exchange placed (shared/over-original.tpl: its first entry
// in the first batch, its second in the third). The purge runs on two
// threads, so which cut falls in it varies.
TEST_F(PowerCutLarge, ThreeBatchesOnTheSyncfsPathIsNewAfterTheCommitRecord) {
    RunCampaign({"ordered directories, one syncfs, three batches, after the commit record", false, true, 0, 0,
                 kAfterCommitPoints, Scope::AfterCommit},
                oldState_, newState_);
}

// On the disk that keeps a random part of its unsynced directory operations.
// A later entry of a shared name removes the earlier entry's file, which was
// exchanged with the original (the original waiting under the working
// name); with no sync between the batches, a disk that kept the removal and
// lost the exchange would hold the original nowhere. The removal waits for
// a sync of its directory.
TEST_F(PowerCutLarge, ThreeBatchesOnTheSyncfsPathWithUnorderedDirectoryOperationsIsOldOrNew) {
    RunCampaign({"unordered directories, one syncfs, three batches", true, true, kLargeSpread, kSyncPoints / 2,
                 kAfterCommitPoints},
                oldState_, newState_);
}

// ---- an uninstall cut ----

// Staging directories beside the template directory `templates` and working
// names in it. A staging directory of a run that died before its first step
// was journalled changed nothing: no start finds it before the next
// operation on that directory, which removes it; it is not counted.
std::string StagingLeftoversOf(const std::string& templates) {
    std::ostringstream out;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(templates + "/..", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".k5stp", 0) != 0) continue;
        std::ifstream journal(entry.path() / "journal");
        size_t lines = 0;
        for (std::string line; std::getline(journal, line);) ++lines;
        if (lines > 4) out << " staging " << name;  // more than its header
    }
    for (const std::string& name : WorkingNames(templates)) out << " working " << name;
    return out.str();
}

// The uninstall of an installation A cut at one operation after another,
// then a recovering start. A puts new files into a directory the user had
// (with a file of the user's in it) and into directories of its own; the
// user's other files and a link sit beside them. After the recovery the
// template directory must be exactly as A left it or exactly as before A,
// the user's files untouched in both; once the commit record is synced,
// exactly as before A. Each cut point gets A installed afresh through the
// mount, nothing cut: the record names the template directory by its
// device and inode, which a copy of the tree would not keep.
class PowerCutUninstall : public PowerCut {
protected:
    void SetUp() override {
        PowerCut::SetUp();
        if (IsSkipped()) return;
        const std::string templates = Pristine() + "/" + kTemplates;
        MakeDirectories(templates + "/shared");
        MakeDirectories(templates + "/notes");
        for (const char* name : {"mine.txt", "shared/mine-too.txt", "notes/keep.txt"}) {
            WriteFile(templates + "/" + name, std::string("the user's ") + name);
            SetTime(templates + "/" + name, kOld);
        }
        ASSERT_EQ(::symlink("mine.txt", (templates + "/mine-link").c_str()), 0);
        std::vector<KitFile> files;
        for (int i = 0; i < kUninstallFiles; ++i) {
            const std::string directory = i % 3 == 0 ? "shared" : i % 3 == 1 ? "own1" : "own2/deep";
            files.push_back({directory + "/f" + std::to_string(i) + ".tpl",
                             "A's " + std::to_string(i) + std::string(static_cast<size_t>(i * 13 % 300), 'a'), kNew});
        }
        files.push_back({"doc/readme.html", "<html><body>Power cut</body></html>\n", kNew});
        WriteKitOf(files);
        before_ = TreeState(templates);
    }

    // The disk as before A, then A installed through the mount, nothing cut.
    bool InstallA() {
        if (!CopyTree(Pristine(), Disk())) return false;
        EmptyTemporaryDirectory();
        PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), 0, std::string(), false);
        if (!mount.Mounted()) return false;
        RunInstaller(false);
        return mount.Unmount();
    }

    // A installed, its uninstall cut at `cutAt` (0: after it ended), /tmp
    // lost, a recovering start; the template directory's state afterwards
    // (empty when A did not install as it does uncut).
    std::string CutUninstallAndRecover(long cutAt, const std::string& log, bool unordered, uint64_t choices) {
        if (!InstallA()) {
            ADD_FAILURE() << "A was not installed: " << Errors().substr(0, 400);
            return std::string();
        }
        const std::string installed = TreeState(Disk() + "/" + kTemplates);
        if (!installed_.empty() && installed != installed_) {
            ADD_FAILURE() << "A installed differently:\n" << StateDifference(installed_, installed);
            return std::string();
        }
        installed_ = installed;
        {
            PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), cutAt, log, false, ModelArguments(unordered, choices));
            if (!mount.Mounted()) {
                ADD_FAILURE() << "powercut_fs did not mount";
                return std::string();
            }
            Start({"--uninstall=" + Home() + "/" + kTemplates + "/", "/S"}, false);
            (void)Finish(120);
            child_.reset();
            EXPECT_TRUE(mount.Unmount());
        }
        EmptyTemporaryDirectory();
        return RecoverOnTheImage(unordered, choices);
    }

    std::string StagingLeftovers() const { return StagingLeftoversOf(Disk() + "/" + kTemplates); }

    // The number of the sync that made the commit record durable: the
    // first sync of the journal after its last write.
    static long CommitSync(const OperationLog& log) {
        long commit = 0;
        for (const Operation& operation : log.operations) {
            if (operation.kind == "write" && EndsWith(operation.path, "/journal")) commit = operation.number;
        }
        for (const Operation& operation : log.operations) {
            if (commit > 0 && operation.number > commit && IsSync(operation.kind) &&
                EndsWith(operation.path, "/journal")) {
                return operation.number;
            }
        }
        return 0;
    }

    // Every operation when there are few, else a spread over the run and
    // one after the commit record, the first operations (the staging
    // directory is made), the commit record's sync, and every removal of
    // a directory and operation on the journal after it, with the next.
    static std::set<long> CutPoints(const OperationLog& log, long commitSync) {
        std::set<long> points;
        if (const char* only = std::getenv("VXK5_POWERCUT_AT")) return {std::atol(only)};
        if (std::getenv("VXK5_POWERCUT_EVERY") != nullptr || log.total <= kUninstallEvery) {
            for (long k = 1; k <= log.total; ++k) points.insert(k);
            return points;
        }
        Spread(points, 1, log.total, kUninstallSpread);
        Spread(points, commitSync + 1, log.total, kUninstallSpread / 3);
        for (long k = 1; k <= 8; ++k) points.insert(k);
        for (const Operation& operation : log.operations) {
            if (operation.number == commitSync ||
                (operation.number > commitSync &&
                 (operation.kind == "rmdir" || EndsWith(operation.path, "/journal")))) {
                points.insert(operation.number);
                if (operation.number < log.total) points.insert(operation.number + 1);
            }
        }
        return points;
    }

    void RunUninstallCampaign(const char* name, bool unordered, bool syncfsPath) {
        const auto started = std::chrono::steady_clock::now();
        if (syncfsPath) environment_.push_back("VXK5_POWERCUT_AS_EXT4=1");
        const std::string countLog = temp_.path("count.log");
        const std::string uncut = CutUninstallAndRecover(0, countLog, unordered, choices_);
        // An uninstall that found no record would leave A in place at every cut.
        ASSERT_EQ(uncut, before_) << name << ": the uncut uninstall did not end as before A\n"
                                  << StateDifference(before_, uncut) << Errors().substr(0, 400);
        ASSERT_NE(installed_, before_);
        const OperationLog counted = ReadLog(countLog);
        const long commitSync = CommitSync(counted);
        ASSERT_GT(commitSync, 0) << name << ": the commit record was never synced";
        const std::set<long> points = CutPoints(counted, commitSync);
        int failures = 0, installedCount = 0, beforeCount = 0;
        for (const long cutAt : points) {
            const uint64_t choices = choices_ + static_cast<uint64_t>(cutAt);
            const std::string log = temp_.path("cut.log");
            const std::string after = CutUninstallAndRecover(cutAt, log, unordered, choices);
            const bool committed = cutAt > commitSync;
            const std::string leftovers = StagingLeftovers();
            if (leftovers.empty() && (after == before_ || (after == installed_ && !committed))) {
                ++(after == before_ ? beforeCount : installedCount);
                continue;
            }
            if (++failures > 5) continue;
            ADD_FAILURE() << name << ": power cut at operation " << cutAt << " of " << counted.total << " ("
                          << ReadLog(log).cut << (committed ? ", after the commit record" : "") << ")"
                          << (unordered ? ", choices " + std::to_string(choices) : std::string())
                          << ": after the recovery the template directory is "
                          << (after == installed_ ? "as A left it" : after == before_ ? "as before A" : "neither")
                          << "\n" << Missing(installed_, after, "A's, lost") << Missing(before_, after, "before, lost")
                          << Missing(after, installed_, "there") << "left over:" << leftovers
                          << "\nrecovery's output: " << Errors().substr(0, 400) << "\nagain: VXK5_POWERCUT_AT="
                          << cutAt << " VXK5_POWERCUT_CHOICES=" << choices_;
        }
        EXPECT_EQ(failures, 0) << name << ": " << failures << " of " << points.size() << " cut points failed";
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
        std::printf("power cut, uninstall, %s: %zu cut points of %ld operations (commit record synced at %ld), "
                    "%d as installed, %d as before, %d failed, %.1f s\n",
                    name, points.size(), counted.total, commitSync, installedCount, beforeCount, failures,
                    taken.count());
    }

    std::string before_, installed_;
};

TEST_F(PowerCutUninstall, UninstallCutAtEveryOperationIsInstalledOrBeforeAfterRecovery) {
    RunUninstallCampaign("ordered directories, a sync per file", false, false);
}

// On a disk that keeps no order among directory operations, a move between
// two directories can reach it half done: the uninstall makes none before
// its commit record, and after it takes its originals back by links.
TEST_F(PowerCutUninstall, UninstallWithUnorderedDirectoryOperationsIsInstalledOrBeforeAfterRecovery) {
    RunUninstallCampaign("unordered directories, a sync per file", true, false);
}

TEST_F(PowerCutUninstall, UninstallOnTheSyncfsPathWithUnorderedDirectoryOperationsIsInstalledOrBefore) {
    RunUninstallCampaign("unordered directories, one syncfs", true, true);
}

// ---- killed at calls of every thread ----

// The installer killed at one call after another that changes a file system
// (powercut_kill_shim), then a recovering start with the temporary
// directory emptied or with another one (the first left as it was).
class PowerCutKill : public SandboxOnTmpfs {
protected:
    void SetUp() override {
        MoveToTmpfs();
        std::string asan = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
        ::setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
        ::umask(022);
    }

    std::string Disk() const { return temp_.path("disk"); }
    std::string Pristine() const { return temp_.path("pristine"); }

    // An update of `files` files in six directories (so that a batch's
    // files are shared by the two writing threads, a directory at a time),
    // a third of them new. With `pastHead`, a new file of several MiB comes
    // first in the kit: every file after it lies past the bytes read with
    // the file table, and is inflated straight into its working name.
    void MakeOldAndKit(int files, bool pastHead = false) {
        const std::string templates = Pristine() + "/" + kTemplates;
        const std::string source = temp_.path("src");
        if (pastHead) {
            std::string big(kPastHeadBytes, '\0');
            uint32_t state = 12345;
            for (char& c : big) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
            MakeDirectories(source + "/a");
            WriteFile(source + "/a/big.bin", big);
            SetTime(source + "/a/big.bin", kNew);
        }
        for (int i = 0; i < files; ++i) {
            const std::string directory = "part" + std::to_string(i % 6);
            const std::string name = directory + "/f" + std::to_string(i) + ".tpl";
            MakeDirectories(source + "/" + directory);
            WriteFile(source + "/" + name, "new " + std::to_string(i) + std::string(static_cast<size_t>(i % 300), 'n'));
            SetTime(source + "/" + name, kNew);
            if (i % 3 == 1) continue;
            MakeDirectories(templates + "/" + directory);
            WriteFile(templates + "/" + name, "old " + std::to_string(i));
            SetTime(templates + "/" + name, kOld);
        }
        MakeDirectories(source + "/doc");
        WriteFile(source + "/doc/readme.html", "<html><body>Killed</body></html>\n");
        SetTime(source + "/doc/readme.html", kNew);
        MakeKit(source);
    }

    enum class AfterKill { TemporaryLost, OtherTemporary };

    // One start on `home` (the disk itself, or a powercut_fs mount of it
    // that cuts nothing), killed at its call `killAt` (0: never); with
    // `recoverOnly` the kit is out of its reach.
    void RunOn(long killAt, const std::string& log, bool recoverOnly) {
        const std::string away = Kit() + ".away";
        if (recoverOnly) {
            ASSERT_EQ(::rename(Kit().c_str(), away.c_str()), 0);
        }
        const std::vector<std::string> saved = environment_;
        if (killAt >= 0) {
            environment_.push_back("LD_PRELOAD=" + std::string(VXK5_KILL_SHIM));
            environment_.push_back("VXK5_KILL_AT=" + std::to_string(killAt));
            environment_.push_back("VXK5_KILL_LOG=" + log);
            if (killAt == 0) environment_.push_back("VXK5_KILL_TRACE=1");
        }
        Start({"/S"}, false);
        (void)Finish(120);
        child_.reset();
        environment_ = saved;
        if (recoverOnly) {
            ASSERT_EQ(::rename(away.c_str(), Kit().c_str()), 0);
        }
    }

    // Mounts powercut_fs over the home directory for the scope when
    // `onPowerCutFs` (cutting and killing nothing: the installer syncs each
    // file there); the disk is then the backing directory.
    std::unique_ptr<PowerCutMount> Mount(bool onPowerCutFs) {
        if (!onPowerCutFs) return nullptr;
        auto mount = std::make_unique<PowerCutMount>(VXK5_POWERCUT_FS, Disk(), Home(), 0, std::string(), true);
        EXPECT_TRUE(mount->Mounted());
        return mount;
    }
    // The template directory as it stands on the disk.
    std::string DiskState(bool onPowerCutFs) const {
        return TreeState((onPowerCutFs ? Disk() : Home()) + "/" + kTemplates);
    }
    // Puts the pristine tree where the installer will see it.
    void Reset(bool onPowerCutFs) {
        RemoveAll(Home());
        RemoveAll(Disk());
        MakeDirectories(Home());
        EXPECT_TRUE(CopyTree(Pristine(), onPowerCutFs ? Disk() : Home()));
        RemoveAll(Tmp());
        MakeDirectories(Tmp());
    }

    void KillEverywhere(bool onPowerCutFs, bool pastHead = false) {
        const auto started = std::chrono::steady_clock::now();
        MakeOldAndKit(kKillFiles, pastHead);
        const std::string oldState = TreeState(Pristine() + "/" + kTemplates);

        // The new state, and every counted call with its thread: the job's
        // thread, the second writer, the unpacker, the main thread, the
        // purge's second thread. Where a run is quick, the second writer may
        // find the work taken before it starts: the count is made again.
        const std::string countLog = temp_.path("count.log");
        std::string newState;
        long total = 0;
        std::map<int, long> perThread;
        std::map<int, std::vector<long>> callsOf;  // thread: the numbers of its calls
        for (int attempt = 0; attempt < 5 && perThread.size() < 5; ++attempt) {
            Reset(onPowerCutFs);
            ::unlink(countLog.c_str());
            {
                auto mount = Mount(onPowerCutFs);
                RunOn(0, countLog, false);
            }
            newState = DiskState(onPowerCutFs);
            ASSERT_TRUE(newState != oldState) << Errors();
            total = 0;
            perThread.clear();
            callsOf.clear();
            std::ifstream in(countLog);
            for (std::string line; std::getline(in, line);) {
                std::istringstream fields(line);
                std::string first;
                fields >> first;
                if (first == "call") {
                    long number = 0;
                    std::string word;
                    int thread = 0;
                    fields >> number >> word >> thread;
                    callsOf[thread].push_back(number);
                }
                if (first == "calls") fields >> total;
                if (first == "thread") {
                    int thread = 0;
                    long count = 0;
                    fields >> thread >> count;
                    perThread[thread] = count;
                }
            }
        }
        ASSERT_GT(total, 0) << "no call was counted: " << ReadFile(countLog);
        // The threads that change the disk or the temporary directory: the
        // job's, the second writer's and the unpacker's at least.
        ASSERT_GE(perThread.size(), 3u) << ReadFile(countLog);

        // Every call, or for each thread a spread over its own calls in the
        // run counted (the threads' calls interleave a little differently
        // from run to run, so a kill may fall on a neighbour's), and the
        // first and last few calls.
        std::vector<long> points;
        const bool every = std::getenv("VXK5_POWERCUT_EVERY") != nullptr;
        if (every) {
            for (long k = 1; k <= total; ++k) points.push_back(k);
        } else {
            std::set<long> chosen;
            for (const auto& [thread, numbers] : callsOf) {
                std::set<long> indexes;
                Spread(indexes, 0, static_cast<long>(numbers.size()) - 1, kKillsPerThread);
                for (const long index : indexes) chosen.insert(numbers[static_cast<size_t>(index)]);
            }
            for (long k = 1; k <= std::min<long>(total, 8); ++k) chosen.insert(k);
            for (long k = std::max<long>(1, total - 8); k <= total; ++k) chosen.insert(k);
            points.assign(chosen.begin(), chosen.end());
        }

        int failures = 0;
        size_t runs = 0;
        std::map<int, int> killedOn;  // thread: kills
        for (size_t n = 0; n < points.size(); ++n) {
            const long killAt = points[n];
            // Each kill point with both kinds of next start when all are
            // taken; otherwise one, in turn.
            std::vector<AfterKill> afters = {n % 2 == 0 ? AfterKill::TemporaryLost : AfterKill::OtherTemporary};
            if (every) afters = {AfterKill::TemporaryLost, AfterKill::OtherTemporary};
            for (const AfterKill after : afters) {
                ++runs;
                Reset(onPowerCutFs);
                const std::string log = temp_.path("kill.log");
                ::unlink(log.c_str());
                std::string state;
                {
                    auto mount = Mount(onPowerCutFs);
                    RunOn(killAt, log, false);
                    const std::vector<std::string> saved = environment_;
                    if (after == AfterKill::TemporaryLost) {
                        RemoveAll(Tmp());
                        MakeDirectories(Tmp());
                    } else {
                        RemoveAll(temp_.path("tmp2"));
                        MakeDirectories(temp_.path("tmp2"));
                        environment_.push_back("TMPDIR=" + temp_.path("tmp2"));
                    }
                    RunOn(-1, std::string(), true);
                    environment_ = saved;
                }
                state = DiskState(onPowerCutFs);
                std::string killed = ReadFile(log);
                if (!killed.empty() && killed.back() == '\n') killed.pop_back();
                long number = 0;
                int thread = -1;
                if (std::sscanf(killed.c_str(), "kill %ld thread %d", &number, &thread) == 2) ++killedOn[thread];
                if (state == oldState || state == newState) continue;
                if (++failures <= 5) {
                    const std::vector<std::string> working =
                        WorkingNames((onPowerCutFs ? Disk() : Home()) + "/" + kTemplates);
                    ADD_FAILURE() << "killed at call " << killAt << " of " << total << " (" << killed << "), then "
                                  << (after == AfterKill::TemporaryLost ? "/tmp emptied" : "another TMPDIR")
                                  << ": neither old nor new\n"
                                  << Missing(oldState, state, "old, lost") << Missing(newState, state, "new, lost")
                                  << Missing(state, oldState, "there") << "working names left: " << working.size()
                                  << "\nrecovery's output: " << Errors().substr(0, 400);
                }
            }
        }
        EXPECT_EQ(failures, 0) << failures << " of " << runs << " recoveries ended neither old nor new";
        // The kills came on the threads that make calls, not only the job's
        // (all of them but, by chance, one).
        EXPECT_GE(killedOn.size() + 1, perThread.size())
            << "the kills fell on " << killedOn.size() << " threads of " << perThread.size();
        std::ostringstream threads;
        for (const auto& [thread, count] : perThread) {
            threads << " " << thread << ":" << count << "/" << (killedOn.count(thread) ? killedOn[thread] : 0);
        }
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
        std::printf("killed %s: %zu runs at %zu of %ld calls (thread:calls/kills%s), %d failed, %.1f s\n",
                    onPowerCutFs ? "on powercut_fs" : "on the disk", runs, points.size(), total,
                    threads.str().c_str(), failures, taken.count());
    }
};

// On an ordinary file system: the installer syncs the file system once.
TEST_F(PowerCutKill, UpdateKilledAtCallsOfEveryThreadIsOldOrNewWhateverBecameOfTmp) { KillEverywhere(false); }

// The files' bytes past those read with the file table, inflated straight
// into their working names: a kill while they are written is old or new too.
TEST_F(PowerCutKill, UpdateKilledWhileTheStreamIsWrittenIntoTheFilesIsOldOrNew) { KillEverywhere(false, true); }

// On powercut_fs, which cuts nothing here: the installer syncs each file.
TEST_F(PowerCutKill, UpdateOnFuseKilledAtCallsOfEveryThreadIsOldOrNewWhateverBecameOfTmp) {
    const std::string unavailable = PowerCutMount::Unavailable(VXK5_POWERCUT_FS);
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    KillEverywhere(true);
}

// An uninstall of a few hundred files killed at its calls that change a
// file system (powercut_kill_shim, whichever thread makes it: every fourth
// and the last few, every one with VXK5_POWERCUT_EVERY=1), on an
// ordinary file system, then a recovering start with /tmp emptied or with
// another temporary directory, in turn: the template directory must be
// exactly as installed or exactly as an uninstall that ran to its end left
// it (the user's file kept), with no staging directory or working name
// left. Each kill point installs afresh: the record names the template
// directory by its inode, which a copy of the tree would not keep.
class PowerCutKillUninstall : public PowerCutKill {
protected:
    void MakeFreshKit(int files) {
        const std::string templates = Pristine() + "/" + kTemplates;
        const std::string source = temp_.path("src");
        MakeDirectories(templates + "/part0");
        WriteFile(templates + "/part0/mine.txt", "the user's");
        SetTime(templates + "/part0/mine.txt", kOld);
        for (int i = 0; i < files; ++i) {
            const std::string directory = "part" + std::to_string(i % 6);
            const std::string name = directory + "/f" + std::to_string(i) + ".tpl";
            MakeDirectories(source + "/" + directory);
            WriteFile(source + "/" + name, "new " + std::to_string(i) + std::string(static_cast<size_t>(i % 300), 'n'));
            SetTime(source + "/" + name, kNew);
        }
        MakeDirectories(source + "/doc");
        WriteFile(source + "/doc/readme.html", "<html><body>Killed</body></html>\n");
        SetTime(source + "/doc/readme.html", kNew);
        MakeKit(source);
    }

    // The pristine tree, the installation, and its uninstall killed at the
    // call `killAt` (0: counted only, into `log`).
    void InstallAndUninstall(long killAt, const std::string& log) {
        Reset(false);
        RunOn(-1, std::string(), false);
        const std::vector<std::string> saved = environment_;
        environment_.push_back("LD_PRELOAD=" + std::string(VXK5_KILL_SHIM));
        environment_.push_back("VXK5_KILL_AT=" + std::to_string(killAt));
        environment_.push_back("VXK5_KILL_LOG=" + log);
        Start({"--uninstall=" + Home() + "/" + kTemplates + "/", "/S"}, false);
        (void)Finish(120);
        child_.reset();
        environment_ = saved;
    }

    std::string StagingLeftovers() const { return StagingLeftoversOf(Home() + "/" + kTemplates); }
};

TEST_F(PowerCutKillUninstall, UninstallKilledAtItsCallsIsInstalledOrUninstalledAtTheNextStart) {
    const auto started = std::chrono::steady_clock::now();
    MakeFreshKit(kUninstallKillFiles);
    const std::string countLog = temp_.path("count.log");
    ::unlink(countLog.c_str());
    InstallAndUninstall(0, countLog);
    const std::string uninstalled = DiskState(false);
    long total = 0;
    std::istringstream counted(ReadFile(countLog));
    for (std::string line; std::getline(counted, line);) {
        if (line.rfind("calls ", 0) == 0) total = std::atol(line.c_str() + 6);
    }
    ASSERT_GT(total, kUninstallKillFiles) << ReadFile(countLog) << Errors();
    Reset(false);
    RunOn(-1, std::string(), false);
    const std::string installed = DiskState(false);
    ASSERT_NE(installed, uninstalled);
    ASSERT_NE(uninstalled.find("part0/mine.txt"), std::string::npos) << uninstalled;
    ASSERT_EQ(uninstalled.find(".tpl"), std::string::npos) << uninstalled;

    // Every call with VXK5_POWERCUT_EVERY=1; otherwise every fourth, and
    // the last few (the directories' removal, the record's).
    std::set<long> points;
    const long step = std::getenv("VXK5_POWERCUT_EVERY") != nullptr ? 1 : 4;
    for (long k = 1; k <= total; k += step) points.insert(k);
    for (long k = std::max<long>(1, total - 8); k <= total; ++k) points.insert(k);
    int failures = 0, installedCount = 0, uninstalledCount = 0;
    for (const long killAt : points) {
        const std::string log = temp_.path("kill.log");
        ::unlink(log.c_str());
        InstallAndUninstall(killAt, log);
        const std::string killed = ReadFile(log);
        const std::vector<std::string> saved = environment_;
        if ((installedCount + uninstalledCount + failures) % 2 == 0) {
            RemoveAll(Tmp());
            MakeDirectories(Tmp());
        } else {
            RemoveAll(temp_.path("tmp2"));
            MakeDirectories(temp_.path("tmp2"));
            environment_.push_back("TMPDIR=" + temp_.path("tmp2"));
        }
        RunOn(-1, std::string(), true);
        environment_ = saved;
        const std::string state = DiskState(false);
        const std::string leftovers = StagingLeftovers();
        EXPECT_EQ(killed.rfind("kill ", 0), 0u) << "call " << killAt << " of " << total << " was not reached";
        if (leftovers.empty() && (state == installed || state == uninstalled)) {
            ++(state == installed ? installedCount : uninstalledCount);
            continue;
        }
        if (++failures > 5) continue;
        ADD_FAILURE() << "killed at call " << killAt << " of " << total << " (" << killed << "): "
                      << (state == installed || state == uninstalled ? "" : "neither installed nor uninstalled\n")
                      << Missing(installed, state, "installed, lost") << Missing(uninstalled, state, "uninstalled, lost")
                      << Missing(state, installed, "there") << "left over:" << leftovers
                      << "\nrecovery's output: " << Errors().substr(0, 400);
    }
    EXPECT_EQ(failures, 0) << failures << " of " << points.size() << " kills failed";
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
    std::printf("uninstall killed on the disk: %zu kills of %ld calls, %d installed, %d uninstalled, %d failed, "
                "%.1f s\n", points.size(), total, installedCount, uninstalledCount, failures, taken.count());
}

}  // namespace
