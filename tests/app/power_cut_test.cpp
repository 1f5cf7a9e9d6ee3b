// The real installer updating a template directory of a few hundred files on
// powercut_fs (tests/support/powercut_fs.cpp), with the power cut at one
// mutating operation after another: after the cut, /tmp is empty (as after a
// reboot), the next start of the program (with no kit beside it, so that it
// only recovers) runs on the image of the cut, and the template directory
// must then be exactly the old one or exactly the new one: names, bytes,
// times, modes, links. A file of 0 bytes where neither has one is the classic
// sign of data that was renamed into place before it was durable.
//
// The home directory is the mount, so whatever the installer keeps there to
// find an unfinished installation again is subject to the cut as well.
// VXK5_POWERCUT_EVERY=1 cuts at every operation instead of a spread;
// VXK5_POWERCUT_AT=K only at K, VXK5_POWERCUT_KEEP=DIR keeps the image, and
// VXK5_POWERCUT_FILES=N makes the kit N files.
//
// The same file system also kills the installer at each of its mutating
// system calls on the disk in turn (a process killed, nothing lost), after
// which the next start finds either an emptied temporary directory or another
// one: old or new exactly, every time.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "installer_run.h"
#include "tests/app/tree_state.h"
#include "tests/support/powercut_mount.h"

namespace {

constexpr time_t kOld = 978307200;     // 2001
constexpr time_t kNew = 1262304000;    // 2010
constexpr time_t kNewer = 1577836800;  // 2020
constexpr char kTemplates[] = ".vxk5/Vx/vxk5/tmplts";
#if defined(__SANITIZE_ADDRESS__)
// The instrumented program is slower: fewer files and cut points keep the
// sanitizer run to the same time, and every call is still killed at.
constexpr int kFiles = 60;
constexpr size_t kSpread = 60;
constexpr size_t kSyncPoints = 8;
constexpr int kKillFiles = 6;
#else
constexpr int kFiles = 200;
constexpr size_t kSpread = 200;
constexpr size_t kSyncPoints = 20;
constexpr int kKillFiles = 16;
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

struct Operation {
    long number = 0;
    std::string kind;
    std::string path;
};

std::vector<Operation> ReadLog(const std::string& path, long& total, std::string& cut) {
    std::vector<Operation> operations;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "end") {
            fields >> total;
        } else if (first == "cut") {
            cut = line;
        } else {
            Operation operation;
            operation.number = std::atol(first.c_str());
            fields >> operation.kind;
            std::getline(fields, operation.path);
            operations.push_back(operation);
        }
    }
    return operations;
}

class PowerCut : public InstallerRun {
protected:
    void SetUp() override {
        unavailable_ = PowerCutMount::Unavailable(VXK5_POWERCUT_FS);
        if (!unavailable_.empty()) GTEST_SKIP() << unavailable_;
        // An instrumented program does not mind the shim coming first.
        std::string asan = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
        ::setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
        environment_ = {"LD_PRELOAD=" + std::string(VXK5_POWERCUT_SHIM), "VXK5_POWERCUT_MOUNTS=" + Home()};
        ::umask(022);
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

    enum class AfterCut { TemporaryLost, OtherTemporary };

    // The disk as the pristine old state, an installation cut at `cutAt`
    // (0: after it ended), /tmp lost, a recovering start; the template
    // directory's state afterwards. `log` gets the cut run's operations.
    std::string CutAndRecover(long cutAt, const std::string& log) {
        EXPECT_TRUE(CopyTree(Pristine(), Disk()));
        EmptyTemporaryDirectory();
        if (!InstallOnMount(cutAt, log, false)) return std::string();
        EmptyTemporaryDirectory();
        // VXK5_POWERCUT_KEEP=DIR keeps a copy of the image for a look.
        if (const char* keep = std::getenv("VXK5_POWERCUT_KEEP")) {
            EXPECT_TRUE(CopyTree(Disk(), keep));
        }
        {
            // The image mounted again (a device of the same kind, as after a
            // reboot), and the power cut once more after the recovery: what
            // it put back must be durable too.
            PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), 0, std::string());
            if (!mount.Mounted()) {
                ADD_FAILURE() << "powercut_fs did not mount the image";
                return std::string();
            }
            RunInstaller(true);
            EXPECT_TRUE(mount.Unmount());
        }
        return TreeState(Disk() + "/" + kTemplates);
    }

    // An installation on the mount, cut or killed at `cutAt`.
    bool InstallOnMount(long cutAt, const std::string& log, bool killOnly) {
        PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), cutAt, log, killOnly);
        if (!mount.Mounted()) {
            ADD_FAILURE() << "powercut_fs did not mount";
            return false;
        }
        RunInstaller(false);
        EXPECT_TRUE(mount.Unmount());
        return true;
    }

    // The installation killed at `killAt`, then a recovering start on the
    // disk as the kill left it, with the temporary directory emptied or with
    // another one (the first left as it was).
    std::string KillAndRecover(long killAt, const std::string& log, AfterCut after) {
        EXPECT_TRUE(CopyTree(Pristine(), Disk()));
        EmptyTemporaryDirectory();
        if (!InstallOnMount(killAt, log, true)) return std::string();
        const std::vector<std::string> saved = environment_;
        if (after == AfterCut::TemporaryLost) {
            EmptyTemporaryDirectory();
        } else {
            RemoveAll(temp_.path("tmp2"));
            MakeDirectories(temp_.path("tmp2"));
            environment_.push_back("TMPDIR=" + temp_.path("tmp2"));
        }
        {
            PowerCutMount mount(VXK5_POWERCUT_FS, Disk(), Home(), 0, std::string(), true);
            EXPECT_TRUE(mount.Mounted());
            RunInstaller(true);
        }
        environment_ = saved;
        return TreeState(Disk() + "/" + kTemplates);
    }

    std::string unavailable_;
};

TEST_F(PowerCut, UpdateCutAtEveryMutatingOperationIsOldOrNewAfterRecovery) {
    const auto started = std::chrono::steady_clock::now();
    const char* files = std::getenv("VXK5_POWERCUT_FILES");  // another size, to look into
    MakeOldAndKit(Pristine(), files != nullptr ? std::atoi(files) : kFiles);
    MakeKit(temp_.path("src"));
    const std::string oldState = TreeState(Pristine() + "/" + kTemplates);

    // The new state: the same update on a plain directory, with no cut.
    ASSERT_TRUE(CopyTree(Pristine(), Home()));
    RunInstaller(false);
    const std::string newState = TreeState(Home() + "/" + kTemplates);
    ASSERT_TRUE(newState != oldState) << Errors();
    ASSERT_NE(newState.find("/f2.tpl mode "), std::string::npos) << Errors();
    RemoveAll(Home());
    MakeDirectories(Home());

    // The whole run on powercut_fs, cut only after the program has ended (it
    // has said "installed"): the new state, every byte of it durable.
    const std::string countLog = temp_.path("count.log");
    const std::string afterEnd = CutAndRecover(0, countLog);
    EXPECT_EQ(afterEnd, newState) << "a power cut after a successful run loses part of it:\n"
                                  << Missing(newState, afterEnd, "lost") << Missing(afterEnd, newState, "instead")
                                  << "empty files: " << EmptyFiles(Disk() + "/" + kTemplates).size();
    long total = 0;
    std::string ignored;
    const std::vector<Operation> operations = ReadLog(countLog, total, ignored);
    ASSERT_GT(total, 0) << "no mutating operation was counted";

    // Every operation, or an even spread plus syncs and the operation after
    // each (where what is durable changes).
    std::set<long> points;
    const bool every = std::getenv("VXK5_POWERCUT_EVERY") != nullptr;
    if (const char* only = std::getenv("VXK5_POWERCUT_AT")) {
        points.insert(std::atol(only));  // one cut, to look into
    } else if (every || total <= static_cast<long>(kSpread) + 40) {
        for (long k = 1; k <= total; ++k) points.insert(k);
    } else {
        for (size_t k = 0; k < kSpread; ++k) {
            points.insert(1 + static_cast<long>(k) * (total - 1) / static_cast<long>(kSpread - 1));
        }
        // Syncs (at most kSyncPoints of them, evenly chosen) and the operation after each.
        std::vector<long> syncs;
        for (const Operation& operation : operations) {
            if (operation.kind == "fsync" || operation.kind == "fdatasync" || operation.kind == "syncfs") {
                syncs.push_back(operation.number);
            }
        }
        const size_t chosen = std::min(syncs.size(), kSyncPoints);
        for (size_t k = 0; k < chosen; ++k) {
            const long sync = syncs[chosen == 1 ? 0 : k * (syncs.size() - 1) / (chosen - 1)];
            points.insert(sync);
            if (sync < total) points.insert(sync + 1);
        }
    }

    int failures = 0;
    int oldCount = 0;
    int newCount = 0;
    for (const long cutAt : points) {
        const std::string log = temp_.path("cut.log");
        const std::string after = CutAndRecover(cutAt, log);
        long unused = 0;
        std::string cut;
        (void)ReadLog(log, unused, cut);
        if (after == oldState) {
            ++oldCount;
            continue;
        }
        if (after == newState) {
            ++newCount;
            continue;
        }
        ++failures;
        if (failures <= 5) {
            const std::vector<std::string> empty = EmptyFiles(Disk() + "/" + kTemplates);
            ADD_FAILURE() << "power cut at operation " << cutAt << " of " << total << " (" << cut
                          << "): after the recovery the template directory is neither old nor new\n"
                          << Missing(oldState, after, "old, lost") << Missing(newState, after, "new, lost")
                          << Missing(after, oldState, "there") << "files of 0 bytes: " << empty.size()
                          << (empty.empty() ? "" : " (" + empty.front() + ", ...)") << "\nrecovery's output: "
                          << Errors().substr(0, 400);
        }
    }
    EXPECT_EQ(failures, 0) << failures << " of " << points.size() << " cut points ended neither old nor new";
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
    std::printf("power cut: %zu cut points of %ld operations, %d old, %d new, %d neither, %.1f s\n", points.size(),
                total, oldCount, newCount, failures, taken.count());
}

// Killed at each mutating system call on the disk, every one: the next start
// with /tmp emptied, and the next start with another TMPDIR, both find the
// template directory old or new exactly.
TEST_F(PowerCut, UpdateKilledAtEveryMutatingCallIsOldOrNewWhateverBecameOfTmp) {
    MakeOldAndKit(Pristine(), kKillFiles);
    MakeKit(temp_.path("src"));
    const std::string oldState = TreeState(Pristine() + "/" + kTemplates);
    ASSERT_TRUE(CopyTree(Pristine(), Home()));
    RunInstaller(false);
    const std::string newState = TreeState(Home() + "/" + kTemplates);
    ASSERT_TRUE(newState != oldState) << Errors();
    RemoveAll(Home());
    MakeDirectories(Home());

    ASSERT_TRUE(CopyTree(Pristine(), Disk()));
    const std::string countLog = temp_.path("count.log");
    ASSERT_TRUE(InstallOnMount(0, countLog, true));
    long total = 0;
    std::string ignored;
    (void)ReadLog(countLog, total, ignored);
    ASSERT_GT(total, 0);

    int failures = 0;
    for (long killAt = 1; killAt <= total; ++killAt) {
        for (const AfterCut after : {AfterCut::TemporaryLost, AfterCut::OtherTemporary}) {
            const std::string log = temp_.path("kill.log");
            const std::string state = KillAndRecover(killAt, log, after);
            if (state == oldState || state == newState) continue;
            long unused = 0;
            std::string cut;
            (void)ReadLog(log, unused, cut);
            if (++failures <= 5) {
                ADD_FAILURE() << "killed at call " << killAt << " of " << total << " (" << cut << "), then "
                              << (after == AfterCut::TemporaryLost ? "/tmp emptied" : "another TMPDIR")
                              << ": neither old nor new\n"
                              << Missing(oldState, state, "old, lost") << Missing(newState, state, "new, lost")
                              << Missing(state, oldState, "there") << "recovery's output: "
                              << Errors().substr(0, 400);
            }
        }
    }
    EXPECT_EQ(failures, 0) << failures << " of " << 2 * total << " recoveries ended neither old nor new";
}

}  // namespace
