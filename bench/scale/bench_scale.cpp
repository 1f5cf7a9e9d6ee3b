// bench-scale: how the installer and the kit tool keep up with tar and rsync
// as a kit's entry count grows (1,000 to 1,000,000 entries).
//
// Trees of small text-like files (200 B to 4 KiB, 100 per directory) are made
// on a tmpfs of its own, mounted where it can be (root), else in the temporary
// directory; the output says which. For each size, every measurement is taken
// --reps times (default 5), alternating which side runs first, and the median
// of the runs' ratios is printed with its spread:
//   create    vxk5-kit create against tar -czf of the same tree (and sizes);
//   fresh     the installer into an empty directory against tar -xzf;
//   update    the installer over a tree whose every file is older against
//             tar --keep-newer-files -xzf over the same;
//   uptodate  the installer over a tree already up to date (nothing to write)
//             against rsync -a --update from an extracted copy;
//   list, verify  vxk5-kit list / verify, for the time per entry.
// At 100,000 entries (or the largest size below it) the uninstall is timed
// too: vxk5-setup --uninstall=DIR /S (the program itself, with the home the
// installation was recorded in) against rm -rf of a tree made the same way,
// each tree installed afresh before its run, outside the timing; a run after
// which the tree is still there fails the benchmark.
// At 100,000 entries (or the largest size below it) the update is also run on
// the temporary directory's own file system ("disk"), every old tree laid out
// before the first of those runs and none removed before the last (why: at
// the runs).
// The installer runs as a separate process of this program (--install), which
// unpacks and reads the kit and runs the installation job as the installer
// does, with the 1 s pause the program makes after copying switched off; it
// is timed from its spawn to its exit (the release of what it held included),
// as tar and rsync are, and each run's line gives both sides' processor time
// in the program and in the kernel (`bench-scale --install KIT DIR/
// [--one-thread]` runs it by hand; with --one-thread the job's own thread
// alone writes and places the files).
//
// RESULT lines: scale_fresh_vs_tar (largest size), scale_bytes_per_entry (peak
// RSS growth per entry from 10,000 to the largest size, the worst of fresh,
// update and up-to-date), scale_update_vs_tar (100k), scale_update_disk_vs_tar
// (100k), scale_uptodate_vs_rsync (100k), scale_flatness (the worst ratio of
// the time per entry at the largest size to that at 10,000, over install,
// update, up-to-date, list and verify), create_vs_tar_czf and kit_vs_tgz_size
// (largest size), scale_uninstall_vs_rm (100k), scale_record_bytes_per_entry
// (the installation record's size per entry, largest size),
// scale_temp_container_bytes (the most the temporary directory held of the
// kit in a fresh install, largest size: the file table's few MiB when the
// data area is inflated straight into the files). Bars: <= 0.6,
// <= 200, <= 0.7, <= 1.0, <= 1.0, <= 1.3, <= 1.0, <= 1.0, <= 1.5, < 100.
//
// Options: --max N (largest entry count, default 1000000), --from N (leave out
// the sizes below N; the comparisons with 10,000 then use the smallest size
// run), --reps N (default
// 5, at least 5), --no-disk (leave out the runs on the disk, whose RESULT is
// then 0), --floor (at 100,000 entries also time the job's own system calls
// alone, from memory, on one and on two threads: see protocol_floor.h; adds
// RESULT floor_fresh_vs_tar, floor_update_vs_tar and their 2-thread forms),
// --no-uninstall (leave out the uninstall's runs), --uninstall-only (at the
// uninstall's size only the uninstall's runs, and its RESULT alone), --keep
// (leave the trees in place). Not run by the tests.

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../common/bench_common.h"
#include "../common/installer_child.h"
#include "../common/measured_run.h"
#include "../common/text_source.h"
#include "protocol_floor.h"
#include "base/conversion.h"
#include "install/install_job.h"
#include "kit/kit_reader.h"
#include "lang/messages.h"
#include "platform/file_system.h"
#include "platform/job_state.h"

namespace vxk5 {

namespace {

constexpr char kProgram[] = "bench-scale";
constexpr int kFilesPerDirectory = 100;
constexpr int64_t kOldTime = 1577836800;  // 2020-01-01: the trees that are updated
constexpr int64_t kNewTime = 1609459200;  // 2021-01-01: the kit's files

// The container's size a run of the installer child reported (the most the
// temporary directory held of the kit), -1 when it did not say.
long long ContainerBytes(const std::string& tmpdir) {
    std::ifstream report(tmpdir + "/install-report");
    double seconds = 0;
    long peak = 0;
    long long bytes = -1;
    report >> seconds >> peak >> bytes;
    return report ? bytes : -1;
}

// The installer as a process of its own (this program with --install), timed
// from its spawn to its exit as tar is.
Measured RunInstaller(const std::string& self, const std::string& kit, const std::string& target,
                      const std::string& tmpdir) {
    return RunMeasured({self, "--install", kit, target}, {"TMPDIR=" + tmpdir}, tmpdir + "/install-report");
}

void SetTimes(const std::string& path, int64_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// A tree of `count` files under `root`; returns the file paths (relative).
std::vector<std::string> MakeTree(const std::string& root, size_t count) {
    TextSource text;
    std::vector<std::string> names;
    names.reserve(count);
    ::mkdir(root.c_str(), 0755);
    uint64_t state = 0x2545F4914F6CDD1Dull;
    std::vector<uint8_t> bytes(4096);
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "d%05zu", i / kFilesPerDirectory);
        if (i % kFilesPerDirectory == 0) ::mkdir((root + "/" + name).c_str(), 0755);
        std::snprintf(name, sizeof name, "d%05zu/t%07zu.cfg", i / kFilesPerDirectory, i);
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const size_t size = 200 + static_cast<size_t>(state % (4096 - 200 + 1));
        text.Fill(bytes.data(), size);
        const std::string path = root + "/" + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), size) != static_cast<ssize_t>(size) || ::close(fd) != 0) {
            Fail(kProgram, "cannot write " + path);
        }
        SetTimes(path, kOldTime);
        names.emplace_back(name);
    }
    return names;
}

// The size of the latest record the installer child kept (in its home below
// `tmp`) for the template directory `dir`: the largest of its records.
uint64_t RecordBytes(const std::string& tmp, const std::string& dir) {
    struct stat info;
    if (::stat(dir.c_str(), &info) != 0) return 0;
    const std::string records = tmp + "/bench-home/.vxk5/installations/" + std::to_string(info.st_dev) + "-" +
                                std::to_string(info.st_ino);
    uint64_t largest = 0;
    if (DIR* listing = ::opendir(records.c_str())) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] == '.') continue;
            struct stat record;
            if (::stat((records + "/" + entry->d_name).c_str(), &record) == 0) {
                largest = std::max(largest, static_cast<uint64_t>(record.st_size));
            }
        }
        ::closedir(listing);
    }
    return largest;
}

uint64_t FileSize(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

void Remove(const std::string& path) { (void)RemoveTree(FromMultiByte(path)); }

void CheckFile(const std::string& path, int64_t mtime, const char* what) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || status.st_mtime != mtime) {
        Fail(kProgram, std::string(what) + ": " + path + " is missing or has the wrong time");
    }
}

// Median of the ratios a[i] / b[i] with their range.
struct Ratio {
    double median = 0;
    double low = 0;
    double high = 0;
};

Ratio Ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) ratios.push_back(a[i] / b[i]);
    Ratio r;
    if (ratios.empty()) return r;
    r.median = Median(ratios);
    r.low = *std::min_element(ratios.begin(), ratios.end());
    r.high = *std::max_element(ratios.begin(), ratios.end());
    return r;
}

std::string Describe(const Ratio& r) {
    char text[96];
    std::snprintf(text, sizeof text, "%.3f (runs %.3f-%.3f)", r.median, r.low, r.high);
    return text;
}

struct SizeResult {
    size_t entries = 0;
    std::map<std::string, std::vector<double>> times;  // kind -> seconds per run
    std::map<std::string, long> peakKib;               // installer kinds -> the largest peak of the runs
    std::map<std::string, std::vector<Measured>> runs; // kind -> each run, with its processor times
    Ratio create, fresh, update, uptodate, updateDisk, uninstall;
    // --floor: the job's own system calls alone, against tar, and the installer against them.
    Ratio floorFresh, floorUpdate, floorFresh2, floorUpdate2, freshVsFloor, updateVsFloor;
    uint64_t kitBytes = 0, tgzBytes = 0;
    uint64_t recordBytes = 0;  // the installation record a fresh install wrote
    long long containerBytes = -1;  // the most the temporary directory held of the kit in a fresh install
};

struct Places {
    std::string base;  // tmpfs (or the temporary directory)
    std::string disk;  // the temporary directory's own file system
    std::string self;
    std::string tool;
    std::string setup;  // the installer program itself, for the uninstall
    int reps = 5;
};

// One run of `kind`: its time for the ratios, the whole measurement for the run's line.
void Keep(SizeResult& result, const std::string& kind, const Measured& run) {
    result.times[kind].push_back(run.seconds);
    result.runs[kind].push_back(run);
}

// The last run of `kind`, as the run's line gives it.
std::string Last(const SizeResult& result, const std::string& kind) {
    const auto it = result.runs.find(kind);
    return it == result.runs.end() || it->second.empty() ? std::string("-") : DescribeRun(it->second.back());
}

void Print(const SizeResult& r, const char* kind) {
    const auto it = r.times.find(kind);
    if (it == r.times.end()) return;
    std::printf("  %-22s %s, %.2f us per entry\n", kind, Spread(it->second, 1e3, "ms").c_str(),
                Median(it->second) / static_cast<double>(r.entries) * 1e6);
}

bool Exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// The uninstall against rm -rf: each side gets a tree the installer has just
// made (outside the timing), and the uninstall runs the real program with the
// home the installation recorded it in. The installation made the template
// directory, so a complete uninstall leaves nothing of it, as rm -rf does.
void BenchUninstall(const Places& places, const std::string& work, const std::string& kit, const std::string& probe,
                    SizeResult& result) {
    const std::string tmp = work + "/tmp";
    const std::string home = tmp + "/bench-home";  // the installer child's
    const std::string ours = work + "/uninst-setup";
    const std::string theirs = work + "/uninst-rm";
    for (int rep = 0; rep < places.reps; ++rep) {
        for (const std::string& dir : {ours, theirs}) {
            if (RunInstaller(places.self, kit, dir + "/", tmp).seconds < 0) Fail(kProgram, "uninstall: the installer failed");
            CheckFile(dir + "/" + probe, kNewTime, "the install before the uninstall");
        }
        const auto runUninstall = [&] {
            const Measured run = RunMeasured({places.setup, "--uninstall=" + ours + "/", "/S", "--exit-status"},
                                             {"HOME=" + home, "TMPDIR=" + tmp});
            if (run.seconds < 0) Fail(kProgram, "vxk5-setup --uninstall failed");
            // An uninstall that did nothing would be a fast one: the tree must be gone.
            if (Exists(ours)) Fail(kProgram, "vxk5-setup --uninstall left " + ours + " in place");
            Keep(result, "uninstall", run);
        };
        const auto runRm = [&] {
            const Measured run = RunMeasured({"rm", "-rf", theirs});
            if (run.seconds < 0 || Exists(theirs)) Fail(kProgram, "rm -rf failed");
            Keep(result, "rm -rf", run);
        };
        if (rep % 2 == 1) { runUninstall(); runRm(); } else { runRm(); runUninstall(); }
        std::printf("  uninstall run %d: vxk5-setup --uninstall %s / rm -rf %s\n", rep + 1,
                    Last(result, "uninstall").c_str(), Last(result, "rm -rf").c_str());
        std::fflush(stdout);
    }
    result.uninstall = Ratios(result.times["uninstall"], result.times["rm -rf"]);
    Print(result, "rm -rf");
    Print(result, "uninstall");
    std::printf("  uninstall / rm -rf %s; medians %.3f s / %.3f s\n", Describe(result.uninstall).c_str(),
                Median(result.times["uninstall"]), Median(result.times["rm -rf"]));
    std::fflush(stdout);
}

// Every measurement at one size.
SizeResult BenchSize(const Places& places, size_t entries, bool withCreate, bool withDisk, bool withFloor,
                     bool withUninstall, bool uninstallOnly) {
    SizeResult result;
    result.entries = entries;
    const std::string work = places.base + "/n" + std::to_string(entries);
    ::mkdir(work.c_str(), 0755);
    const std::string src = work + "/src";
    std::printf("%zu entries: making the tree\n", entries);
    std::fflush(stdout);
    const std::vector<std::string> names = MakeTree(src, entries);
    const std::string probe = names.back();
    // The old tree's archive, for the update runs' starting trees.
    const std::string oldTgz = work + "/old.tar.gz";
    if (Run({"tar", "-czf", oldTgz, "-C", src, "."}) != 0) Fail(kProgram, "tar -czf failed");
    for (const std::string& name : names) SetTimes(src + "/" + name, kNewTime);

    const std::string kit = work + "/new.efd";
    const std::string tgz = work + "/new.tar.gz";
    auto& t = result.times;
    const int createReps = withCreate && !uninstallOnly ? places.reps : 1;
    for (int rep = 0; rep < createReps; ++rep) {
        Measured tar, create;
        const auto runTar = [&] { tar = RunMeasured({"tar", "-czf", tgz, "-C", src, "."}); };
        const auto runCreate = [&] { create = RunMeasured({places.tool, "create", src, "-o", kit, "--quiet"}); };
        if (rep % 2 == 0) {
            runTar();
            runCreate();
        } else {
            runCreate();
            runTar();
        }
        if (tar.seconds < 0 || create.seconds < 0) Fail(kProgram, "tar -czf or vxk5-kit create failed");
        Keep(result, "tar -czf", tar);
        Keep(result, "create", create);
    }
    result.kitBytes = FileSize(kit);
    result.tgzBytes = FileSize(tgz);
    result.create = Ratios(t["create"], t["tar -czf"]);

    const std::string tmp = work + "/tmp";
    ::mkdir(tmp.c_str(), 0700);
    if (withUninstall) BenchUninstall(places, work, kit, probe, result);
    if (uninstallOnly) {
        if (places.base != work) Remove(work);
        return result;
    }
    for (int rep = 0; rep < places.reps; ++rep) {
        const bool installFirst = rep % 2 == 1;
        // At a million entries a tree takes gigabytes of the tmpfs, so at most one copy besides the source
        // exists at a time: tar's pair of runs (fresh, then up to date on its tree) and the installer's pair,
        // in turn, which goes first alternating from run to run.
        const std::string tarDir = work + "/tar-x";
        const std::string installDir = work + "/installed";
        const auto tarPair = [&] {
            ::mkdir(tarDir.c_str(), 0755);
            const Measured tar = RunMeasured({"tar", "-xzf", tgz, "-C", tarDir});
            if (tar.seconds < 0) Fail(kProgram, "fresh: tar -xzf failed");
            const Measured rsync = RunMeasured({"rsync", "-a", "--update", src + "/", tarDir + "/"});
            if (rsync.seconds < 0) Fail(kProgram, "up to date: rsync failed");
            Keep(result, "tar -xzf", tar);
            Keep(result, "rsync -a --update", rsync);
            Remove(tarDir);
        };
        const auto installerPair = [&] {
            const Measured install = RunInstaller(places.self, kit, installDir + "/", tmp);
            if (install.seconds < 0) Fail(kProgram, "fresh: the installer failed");
            CheckFile(installDir + "/" + probe, kNewTime, "fresh install");
            result.recordBytes = RecordBytes(tmp, installDir);
            result.containerBytes = ContainerBytes(tmp);
            // up to date: the fresh tree again, nothing to write
            const Measured uptodate = RunInstaller(places.self, kit, installDir + "/", tmp);
            if (uptodate.seconds < 0) Fail(kProgram, "up to date: the installer failed");
            Keep(result, "fresh", install);
            Keep(result, "uptodate", uptodate);
            result.peakKib["fresh"] = std::max(result.peakKib["fresh"], install.peakKib);
            result.peakKib["uptodate"] = std::max(result.peakKib["uptodate"], uptodate.peakKib);
            Remove(installDir);
        };
        if (installFirst) { installerPair(); tarPair(); } else { tarPair(); installerPair(); }

        // update: every file older; each side lays out its old tree just before its run and removes it after
        const auto oldTree = [&](const std::string& dir) {
            ::mkdir(dir.c_str(), 0755);
            if (Run({"tar", "-xzf", oldTgz, "-C", dir}) != 0) Fail(kProgram, "cannot lay out the old tree");
            Run({"sync"});
        };
        const auto runTarU = [&] {
            const std::string a = work + "/upd-tar";
            oldTree(a);
            const Measured tarU = RunMeasured({"tar", "--keep-newer-files", "-xzf", tgz, "-C", a});
            if (tarU.seconds < 0) Fail(kProgram, "update: tar failed");
            CheckFile(a + "/" + probe, kNewTime, "tar --keep-newer-files");
            Keep(result, "tar --keep-newer-files", tarU);
            Remove(a);
        };
        const auto runInstallU = [&] {
            const std::string b = work + "/upd-inst";
            oldTree(b);
            const Measured installU = RunInstaller(places.self, kit, b + "/", tmp);
            if (installU.seconds < 0) Fail(kProgram, "update: the installer failed");
            CheckFile(b + "/" + probe, kNewTime, "update");
            Keep(result, "update", installU);
            result.peakKib["update"] = std::max(result.peakKib["update"], installU.peakKib);
            // What it replaced is kept beside the tree until the next
            // installation there; it goes with the tree, so that every run
            // keeps the originals it replaces, as a user's update does.
            const std::string kept = work + "/.k5kept-upd-inst";
            CheckFile(kept + "/originals/" + probe, kOldTime, "the update's kept original");
            Remove(b);
            Remove(kept);
        };
        if (installFirst) { runInstallU(); runTarU(); } else { runTarU(); runInstallU(); }

        // list and verify
        const Measured list = RunMeasured({places.tool, "list", kit}, {"TMPDIR=" + tmp});
        const Measured verify = RunMeasured({places.tool, "verify", kit}, {"TMPDIR=" + tmp});
        if (list.seconds < 0 || verify.seconds < 0) Fail(kProgram, "vxk5-kit list or verify failed");
        Keep(result, "list", list);
        Keep(result, "verify", verify);
        result.peakKib["list"] = std::max(result.peakKib["list"], list.peakKib);
        result.peakKib["verify"] = std::max(result.peakKib["verify"], verify.peakKib);
        std::printf("  run %d: fresh %s / tar %s\n         up to date %s / rsync %s\n"
                    "         update %s / tar %s\n         list %s, verify %s\n",
                    rep + 1, Last(result, "fresh").c_str(), Last(result, "tar -xzf").c_str(),
                    Last(result, "uptodate").c_str(), Last(result, "rsync -a --update").c_str(),
                    Last(result, "update").c_str(), Last(result, "tar --keep-newer-files").c_str(),
                    Last(result, "list").c_str(), Last(result, "verify").c_str());
        std::fflush(stdout);
    }
    if (withDisk) {
        // The update on the disk, every old tree laid out before the first run
        // and none removed before the last. On ext4 without a journal, a new
        // file's inode is not taken from among those freed in the last minutes
        // whose inode-table block is dirty, and each allocation steps over all
        // of them again: removing one run's tree just before the next would
        // slow that run by an amount that depends on where the allocator lands.
        // Each side's own removals still count in its own run (tar's unlinks,
        // the installer's purge of the originals after its commit).
        const std::string diskWork = places.disk + "/n" + std::to_string(entries);
        ::mkdir(diskWork.c_str(), 0755);
        const auto treeOf = [&](int rep, bool installer) {
            return diskWork + (installer ? "/upd-inst" : "/upd-tar") + std::to_string(rep);
        };
        std::printf("  the disk: laying out %d old trees\n", 2 * places.reps);
        std::fflush(stdout);
        for (int rep = 0; rep < places.reps; ++rep) {
            for (const bool installer : {false, true}) {
                ::mkdir(treeOf(rep, installer).c_str(), 0755);
                if (Run({"tar", "-xzf", oldTgz, "-C", treeOf(rep, installer)}) != 0) {
                    Fail(kProgram, "cannot lay out an old tree on the disk (room for every run's tree at once is needed)");
                }
            }
        }
        Run({"sync"});
        for (int rep = 0; rep < places.reps; ++rep) {
            const auto runTarU = [&] {
                const std::string a = treeOf(rep, false);
                const Measured tarU = RunMeasured({"tar", "--keep-newer-files", "-xzf", tgz, "-C", a});
                if (tarU.seconds < 0) Fail(kProgram, "update on the disk: tar failed");
                CheckFile(a + "/" + probe, kNewTime, "tar --keep-newer-files on the disk");
                Keep(result, "tar --keep-newer-files (disk)", tarU);
            };
            const auto runInstallU = [&] {
                const std::string b = treeOf(rep, true);
                const Measured installU = RunInstaller(places.self, kit, b + "/", tmp);
                if (installU.seconds < 0) Fail(kProgram, "update on the disk: the installer failed");
                CheckFile(b + "/" + probe, kNewTime, "update on the disk");
                Keep(result, "update (disk)", installU);
            };
            if (rep % 2 == 1) { runInstallU(); runTarU(); } else { runTarU(); runInstallU(); }
            std::printf("  the disk, run %d: update %s / tar %s\n", rep + 1, Last(result, "update (disk)").c_str(),
                        Last(result, "tar --keep-newer-files (disk)").c_str());
            std::fflush(stdout);
        }
        Remove(diskWork);
    }
    if (withFloor) {
        // The floor's runs pair with the installer's and tar's runs of the same number, above.
        const std::vector<FloorFile> files = LoadFloorTree(src);
        const std::string floorDir = work + "/floor";
        for (int rep = 0; rep < places.reps; ++rep) {
            for (const int threads : {1, 2}) {
                const std::string suffix = threads == 1 ? "" : ", 2 threads";
                ::mkdir(floorDir.c_str(), 0755);
                const double fresh = RunFloor(files, floorDir, FloorMode::Fresh, threads, kNewTime);
                Remove(floorDir);
                ::mkdir(floorDir.c_str(), 0755);
                if (Run({"tar", "-xzf", oldTgz, "-C", floorDir}) != 0) Fail(kProgram, "cannot lay out the old tree");
                Run({"sync"});
                const double update = RunFloor(files, floorDir, FloorMode::Update, threads, kNewTime);
                Remove(floorDir);
                if (fresh < 0 || update < 0) Fail(kProgram, "the floor's system calls failed");
                t["floor fresh" + suffix].push_back(fresh);
                t["floor update" + suffix].push_back(update);
            }
        }
        result.floorFresh = Ratios(t["floor fresh"], t["tar -xzf"]);
        result.floorUpdate = Ratios(t["floor update"], t["tar --keep-newer-files"]);
        result.floorFresh2 = Ratios(t["floor fresh, 2 threads"], t["tar -xzf"]);
        result.floorUpdate2 = Ratios(t["floor update, 2 threads"], t["tar --keep-newer-files"]);
        result.freshVsFloor = Ratios(t["fresh"], t["floor fresh"]);
        result.updateVsFloor = Ratios(t["update"], t["floor update"]);
    }
    result.fresh = Ratios(t["fresh"], t["tar -xzf"]);
    result.update = Ratios(t["update"], t["tar --keep-newer-files"]);
    result.uptodate = Ratios(t["uptodate"], t["rsync -a --update"]);
    if (withDisk) result.updateDisk = Ratios(t["update (disk)"], t["tar --keep-newer-files (disk)"]);

    std::printf("%zu entries (medians of %d runs; per entry = median / entries):\n", entries, places.reps);
    for (const char* kind : {"tar -czf", "create", "tar -xzf", "fresh", "rsync -a --update", "uptodate",
                             "tar --keep-newer-files", "update", "tar --keep-newer-files (disk)", "update (disk)",
                             "list", "verify", "floor fresh", "floor fresh, 2 threads", "floor update",
                             "floor update, 2 threads"}) {
        Print(result, kind);
    }
    std::printf("  create / tar -czf %s; kit %llu bytes, tar.gz %llu bytes (%.3f)\n", Describe(result.create).c_str(),
                static_cast<unsigned long long>(result.kitBytes), static_cast<unsigned long long>(result.tgzBytes),
                static_cast<double>(result.kitBytes) / static_cast<double>(result.tgzBytes));
    std::printf("  fresh / tar -xzf %s; update / tar --keep-newer-files %s; up to date / rsync %s\n",
                Describe(result.fresh).c_str(), Describe(result.update).c_str(), Describe(result.uptodate).c_str());
    if (withDisk) std::printf("  update on the disk / tar %s\n", Describe(result.updateDisk).c_str());
    if (withFloor) {
        std::printf("  floor (the job's system calls alone, bytes from memory): fresh / tar -xzf %s, on 2 threads %s;"
                    " update / tar --keep-newer-files %s, on 2 threads %s\n",
                    Describe(result.floorFresh).c_str(), Describe(result.floorFresh2).c_str(),
                    Describe(result.floorUpdate).c_str(), Describe(result.floorUpdate2).c_str());
        std::printf("  the installer / the floor: fresh %s, update %s\n", Describe(result.freshVsFloor).c_str(),
                    Describe(result.updateVsFloor).c_str());
    }
    std::printf("  temporary directory, fresh: the kit's container held %lld bytes at most (the kit: %llu bytes)\n",
                result.containerBytes, static_cast<unsigned long long>(result.kitBytes));
    std::printf("  peak RSS: fresh %ld KiB, update %ld KiB, up to date %ld KiB, list %ld KiB, verify %ld KiB\n",
                result.peakKib["fresh"], result.peakKib["update"], result.peakKib["uptodate"], result.peakKib["list"],
                result.peakKib["verify"]);
    std::fflush(stdout);
    if (places.base != work) Remove(work);
    return result;
}

struct Options {
    size_t max = 1000000;
    size_t from = 1000;
    int reps = 5;
    bool keep = false;
    bool disk = true;
    bool floor = false;
    bool uninstall = true;
    bool uninstallOnly = false;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--keep") {
            options.keep = true;
        } else if (argument == "--floor") {
            options.floor = true;
        } else if (argument == "--no-uninstall") {
            options.uninstall = false;
        } else if (argument == "--uninstall-only") {
            options.uninstallOnly = true;
        } else if (argument == "--no-disk") {
            options.disk = false;
        } else if (argument == "--from" && i + 1 < argc) {
            options.from = static_cast<size_t>(std::atoll(argv[++i]));
        } else if (argument == "--max" && i + 1 < argc) {
            options.max = static_cast<size_t>(std::atoll(argv[++i]));
        } else if (argument == "--reps" && i + 1 < argc) {
            options.reps = std::max(5, std::atoi(argv[++i]));
        } else {
            Fail(kProgram, "unknown option " + argument +
                             " (--from N, --max N, --reps N, --no-disk, --floor, --no-uninstall, --uninstall-only, --keep)");
        }
    }
    if (options.max < 1000) options.max = 1000;
    return options;
}

bool IsTmpfs(const std::string& path) {
    struct statfs status {};
    return ::statfs(path.c_str(), &status) == 0 && status.f_type == 0x01021994;  // TMPFS_MAGIC
}

}  // namespace

}  // namespace vxk5

using namespace vxk5;

int main(int argc, char** argv) {
    if (int status = 0; RunInstallChildIfAsked(argc, argv, status)) return status;
    const Options options = ParseOptions(argc, argv);
    char selfPath[4096] = {};
    if (readlink("/proc/self/exe", selfPath, sizeof selfPath - 1) <= 0) return 1;

    Places places;
    places.self = selfPath;
    places.tool = VXK5_KIT_TOOL;
    places.setup = VXK5_SETUP_PROGRAM;
    places.reps = options.reps;
    places.disk = MakeScratchDirectory("bench-scale-disk", false);
    const std::string mountPoint = MakeScratchDirectory("bench-scale", false);
    const bool mounted = ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=16g,mode=0700") == 0;
    places.base = mountPoint;
    std::printf("bench-scale: trees on %s (%s); the disk runs in %s (%s)\n", mountPoint.c_str(),
                mounted ? "a tmpfs mounted for this run" : IsTmpfs(mountPoint) ? "tmpfs" : "the temporary directory, not tmpfs",
                places.disk.c_str(), IsTmpfs(places.disk) ? "tmpfs" : "the temporary directory's file system");
    std::printf("installer times: a process of its own that unpacks and reads the kit and runs the installation"
                " job, from its spawn to its exit, as tar's are taken; the program's 1 s pause after copying is"
                " switched off; each run also gives the processor time in the program (user) and the kernel (sys)\n");
    std::fflush(stdout);

    std::vector<size_t> sizes;
    for (size_t n = 1000; n <= options.max; n *= 10) {
        if (n >= options.from) sizes.push_back(n);
    }
    if (sizes.empty() || sizes.back() != options.max) sizes.push_back(options.max);
    size_t diskSize = 0;  // 100,000, or the largest size below it
    for (size_t n : sizes) {
        if (n <= 100000) diskSize = n;
    }
    std::map<size_t, SizeResult> results;
    for (size_t n : sizes) {
        const bool uninstall = (options.uninstall || options.uninstallOnly) && n == diskSize;
        if (options.uninstallOnly && !uninstall) continue;
        results[n] = BenchSize(places, n, n == sizes.back() || n == diskSize, options.disk && n == diskSize,
                               options.floor && n == diskSize, uninstall, options.uninstallOnly);
    }
    if (options.uninstallOnly) {
        if (mounted) ::umount2(mountPoint.c_str(), MNT_DETACH);
        if (!options.keep) Remove(mountPoint);
        if (!options.keep) Remove(places.disk);
        std::printf("RESULT scale_uninstall_vs_rm=%.3f\n", results[diskSize].uninstall.median);
        return 0;
    }

    const SizeResult& largest = results[sizes.back()];
    const SizeResult& mid = results[diskSize];
    const SizeResult& small = results.count(10000) != 0 ? results[10000] : results[sizes.front()];
    double bytesPerEntry = 0;
    if (largest.entries > small.entries) {
        long growth = 0;
        for (const char* kind : {"fresh", "update", "uptodate"}) {
            growth = std::max(growth, largest.peakKib.at(kind) - small.peakKib.at(kind));
        }
        bytesPerEntry = static_cast<double>(growth) * 1024.0 / static_cast<double>(largest.entries - small.entries);
    }
    double flatness = 0;
    for (const char* kind : {"fresh", "update", "uptodate", "list", "verify"}) {
        const double perLarge = Median(largest.times.at(kind)) / static_cast<double>(largest.entries);
        const double perSmall = Median(small.times.at(kind)) / static_cast<double>(small.entries);
        std::printf("time per entry, %s: %.2f us at %zu, %.2f us at %zu, ratio %.3f\n", kind, perLarge * 1e6,
                    largest.entries, perSmall * 1e6, small.entries, perLarge / perSmall);
        flatness = std::max(flatness, perLarge / perSmall);
    }
    std::printf("sizes: largest %zu entries, middle %zu, small %zu\n", largest.entries, mid.entries, small.entries);
    const double recordPerEntry = static_cast<double>(largest.recordBytes) / static_cast<double>(largest.entries);
    std::printf("installation record at %zu entries: %llu bytes, %.1f bytes per entry\n", largest.entries,
                static_cast<unsigned long long>(largest.recordBytes), recordPerEntry);

    if (mounted) ::umount2(mountPoint.c_str(), MNT_DETACH);
    if (!options.keep) {
        Remove(mountPoint);
        Remove(places.disk);
    }
    std::printf("RESULT scale_fresh_vs_tar=%.3f\n", largest.fresh.median);
    std::printf("RESULT scale_bytes_per_entry=%.0f\n", bytesPerEntry);
    std::printf("RESULT scale_record_bytes_per_entry=%.1f\n", recordPerEntry);
    std::printf("RESULT scale_temp_container_bytes=%lld\n", largest.containerBytes);
    std::printf("RESULT scale_update_vs_tar=%.3f\n", mid.update.median);
    std::printf("RESULT scale_update_disk_vs_tar=%.3f\n", mid.updateDisk.median);
    std::printf("RESULT scale_uptodate_vs_rsync=%.3f\n", mid.uptodate.median);
    std::printf("RESULT scale_flatness=%.3f\n", flatness);
    std::printf("RESULT create_vs_tar_czf=%.3f\n", largest.create.median);
    if (options.uninstall) std::printf("RESULT scale_uninstall_vs_rm=%.3f\n", mid.uninstall.median);
    if (options.floor) {
        std::printf("RESULT floor_fresh_vs_tar=%.3f\n", mid.floorFresh.median);
        std::printf("RESULT floor_update_vs_tar=%.3f\n", mid.floorUpdate.median);
        std::printf("RESULT floor_fresh_2threads_vs_tar=%.3f\n", mid.floorFresh2.median);
        std::printf("RESULT floor_update_2threads_vs_tar=%.3f\n", mid.floorUpdate2.median);
    }
    std::printf("RESULT kit_vs_tgz_size=%.3f\n",
                static_cast<double>(largest.kitBytes) / static_cast<double>(std::max<uint64_t>(largest.tgzBytes, 1)));
    return 0;
}
