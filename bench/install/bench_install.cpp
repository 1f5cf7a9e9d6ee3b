// bench-install: how long a kit takes from its file to the installed tree,
// next to tar -xzf of the same tree in the same run.
//
// Makes, in a private directory (on /dev/shm when there is one, so that the
// kit, the temporary directory and the target share one tmpfs), a tree of
// 2,000 text-like files in 100 directories (about 20 MB), two kits of it (the
// second with every file newer) and a .tar.gz of it made once by tar -czf.
// Then, several times over, alternately:
//   tar     tar -xzf of the archive into an empty directory;
//   fresh   a process of its own (this program with --install) that unpacks
//           and reads the first kit as the installer does and runs the
//           installation job into an empty directory, from its spawn to its
//           exit, as tar's are taken;
//   update  the same for the second kit into that directory, every file
//           replaced.
// The pause the program makes after its final post is switched off in that
// process. Each run's line gives the processor time of both sides (user,
// sys). The medians are compared (install time / tar time).
//
// Then, on a real tree (--tree DIR, default /usr/include: its regular files),
// in a directory on the temporary directory's file system (TMPDIR, else /tmp),
// alternating the order from run to run:
//   real    a kit of the tree unpacked, read and installed fresh as above,
//           against tar -xzf of an archive of the same files there;
//   durable the same fresh installation (which makes its files durable before
//           it commits) against tar -xzf followed by sync -f on the target, so
//           that both end with the files on the disk;
//   update  a second kit of the tree with every file newer installed over the
//           fresh installation (every original set aside, every file
//           replaced, durable), against the same tar -xzf + sync -f.
//
// Then the real program, vxk5-setup, run as a separate process:
//   gui_cpu the CPU time (user + system, all threads) of a silent install of a
//           4,000-file kit with a display (Xvfb; one is started when DISPLAY is
//           not set), over the same silent install without a display;
//   start   the time from starting the program (exec) to its window being
//           mapped, with the demo kit and with a kit of over 500 MB (20,000
//           files that do not compress), alternately, at least 5 times each;
//           the program reads the kit behind its window, so the kit's size
//           should hardly show.
//
// The RESULT lines come last: fresh_vs_tar, update_vs_tar, real_tree_vs_tar,
// durable_tree_vs_tar_sync, update_disk_vs_tar, gui_cpu_vs_headless, window_big_vs_demo.
//
// Options: --reps N (default 7), --tree DIR, --setup PATH (the program, default
// the one built beside this benchmark), --skip-real, --skip-gui, --keep (leave
// the directories in place).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "../common/bench_common.h"
#include "../common/installer_child.h"
#include "../common/measured_run.h"
#include "../common/text_source.h"
#include "base/conversion.h"
#include "install/install_job.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "lang/messages.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/job_state.h"

extern char** environ;

namespace vxk5 {

namespace {

constexpr char kProgram[] = "bench-install";
constexpr int kDirectories = 100;
constexpr int kFilesPerDirectory = 20;
constexpr int64_t kFirstTime = 1577836800;   // 2020-01-01
constexpr int64_t kSecondTime = 1609459200;  // 2021-01-01

struct TreeFile {
    std::string relative;  // "/" separated
    std::string bytes;
};

bool WriteKit(const std::string& path, const std::vector<TreeFile>& files, int64_t unixTime, int level = 9) {
    std::vector<KitFileEntry> entries;
    uint32_t offset = 0;
    const FileTime time = UnixTimeToFileTime(unixTime);
    for (const TreeFile& file : files) {
        KitFileEntry entry;
        std::string name = file.relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        entry.name = FromMultiByte(name);
        entry.timeLow = time.low;
        entry.timeHigh = time.high;
        entry.offset = offset;
        entry.size = static_cast<uint32_t>(file.bytes.size());
        offset += entry.size;
        entries.push_back(entry);
    }
    KitDescription description{u"en", u"Benchmark templates", u"Bench", u"readme.txt"};
    const std::string head =
        kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {description}, entries);
    KitFileWriter writer;
    if (writer.Open(FromMultiByte(path), level) != 0 || writer.Write(head.data(), head.size()) != 0) return false;
    for (const TreeFile& file : files) {
        if (writer.Write(file.bytes.data(), file.bytes.size()) != 0) return false;
    }
    return writer.Finish() == 0;
}

// The installation as a process of its own (this program with --install:
// the kit unpacked and read, the job into `target`, the exit), from its spawn
// to its exit, as tar's are taken; seconds -1 when it failed.
Measured TimeInstall(const std::string& kitPath, const std::string& target) {
    static const std::string self = [] {
        char path[4096] = {};
        return readlink("/proc/self/exe", path, sizeof path - 1) > 0 ? std::string(path) : std::string();
    }();
    return RunMeasured({self, "--install", kitPath, target});
}

// tar -xzf into a new directory; with `sync`, then sync -f on it (the whole
// file system the target is on, as the installer's syncfs does), the two
// processes' times together.
Measured TimeTar(const std::string& archive, const std::string& target, bool sync = false) {
    if (::mkdir(target.c_str(), 0755) != 0) return Measured();
    const Clock::time_point start = Clock::now();
    Measured tar = RunMeasured({"tar", "-xzf", archive, "-C", target});
    if (tar.seconds < 0) return tar;
    if (sync) {
        const Measured synced = RunMeasured({"sync", "-f", target});
        if (synced.seconds < 0) return synced;
        tar.userSeconds += synced.userSeconds;
        tar.systemSeconds += synced.systemSeconds;
    }
    tar.seconds = Seconds(Clock::now() - start);
    return tar;
}

bool SameBytes(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::string read(bytes.size() + 1, '\0');
    const size_t got = std::fread(&read[0], 1, read.size(), file);
    std::fclose(file);
    return got == bytes.size() && std::memcmp(read.data(), bytes.data(), got) == 0;
}

// The kind of file system `path` is on, for the output.
std::string FileSystemName(const std::string& path) {
    struct statfs info;
    if (::statfs(path.c_str(), &info) != 0) return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x01021994UL: return "tmpfs";
        case 0xEF53UL: return "ext2/3/4";
        case 0x58465342UL: return "xfs";
        case 0x9123683EUL: return "btrfs";
        case 0x794C7630UL: return "overlayfs";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "type 0x%lx", static_cast<unsigned long>(info.f_type));
            return text;
        }
    }
}

// The regular files under `root`, relative and "/" separated, in a stable order.
void CollectRegularFiles(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
    const std::string directory = relative.empty() ? root : root + "/" + relative;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string child = relative.empty() ? name : relative + "/" + name;
        struct stat status;
        if (::lstat((root + "/" + child).c_str(), &status) != 0) continue;
        if (S_ISDIR(status.st_mode)) {
            CollectRegularFiles(root, child, out);
        } else if (S_ISREG(status.st_mode) && ::access((root + "/" + child).c_str(), R_OK) == 0) {
            out.push_back(child);
        }
    }
}

struct RealTreeResult {
    bool ran = false;
    double ratio = 0;         // fresh install / tar -xzf
    double durableRatio = 0;  // fresh install / (tar -xzf + sync -f)
    double updateRatio = 0;   // update install / (tar -xzf + sync -f)
    std::string base;  // the directory, removed by the caller
    std::string kit;   // the tree's kit, kept for the start measurement
};

// The regular files of `tree`, installed fresh into `parent`'s file system,
// against tar -xzf of the same files there.
RealTreeResult BenchRealTree(const std::string& tree, const std::string& parent, int reps) {
    RealTreeResult result;
    std::vector<std::string> names;
    CollectRegularFiles(tree, "", names);
    if (names.empty()) {
        std::printf("real tree: no regular files under %s, skipped\n", tree.c_str());
        return result;
    }
    std::string pattern = parent + "/vxk5-bench-real-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
        std::perror("mkdtemp");
        return result;
    }
    const std::string base = pattern;
    result.base = base;
    const std::string temp = base + "/tmp";
    ::mkdir(temp.c_str(), 0755);
    ::setenv("TMPDIR", temp.c_str(), 1);

    std::vector<TreeFile> files;
    size_t total = 0;
    std::string list;
    for (const std::string& name : names) {
        files.push_back({name, ReadWholeFile(tree + "/" + name)});
        total += files.back().bytes.size();
        list += name + "\n";
    }
    const std::string kit = base + "/real.efd";
    const std::string newerKit = base + "/real-newer.efd";
    const std::string archive = base + "/real.tar.gz";
    const std::string listPath = base + "/files.txt";
    if (!WriteWholeFile(listPath, list) || !WriteKit(kit, files, kFirstTime, 6) ||
        !WriteKit(newerKit, files, kSecondTime, 6) ||
        Run({"tar", "-czf", archive, "-C", tree, "--no-recursion", "-T", listPath}) != 0) {
        std::fprintf(stderr, "real tree: cannot make the kit or the archive\n");
        return result;
    }
    std::vector<TreeFile>().swap(files);
    struct stat kitStatus {};
    struct stat tarStatus {};
    if (::stat(kit.c_str(), &kitStatus) != 0 || ::stat(archive.c_str(), &tarStatus) != 0) return result;
    std::printf("real tree: %zu regular files of %s, %.1f MB; kit %.1f MB, tar.gz %.1f MB; in %s (%s)\n",
                names.size(), tree.c_str(), static_cast<double>(total) / 1e6, static_cast<double>(kitStatus.st_size) / 1e6,
                static_cast<double>(tarStatus.st_size) / 1e6,
                base.c_str(), FileSystemName(base).c_str());
    std::fflush(stdout);

    std::vector<double> tarTimes;
    std::vector<double> tarSyncTimes;
    std::vector<double> installTimes;
    std::vector<double> updateTimes;
    for (int rep = 0; rep < reps; ++rep) {
        const std::string tarTarget = base + "/tar" + std::to_string(rep);
        const std::string tarSyncTarget = base + "/tarsync" + std::to_string(rep);
        const std::string target = base + "/installed" + std::to_string(rep) + "/";
        Measured tar, tarSync, install, update;
        // Dirty pages of one measurement are not left for the next to write.
        (void)Run({"sync", "-f", base});
        auto tars = [&] {
            tar = TimeTar(archive, tarTarget);
            tarSync = TimeTar(archive, tarSyncTarget, true);
        };
        auto installs = [&] {
            install = TimeInstall(kit, target);
            (void)Run({"sync", "-f", base});
            if (install.seconds >= 0) update = TimeInstall(newerKit, target);
        };
        if (rep % 2 == 0) {
            tars();
            (void)Run({"sync", "-f", base});
            installs();
        } else {
            installs();
            (void)Run({"sync", "-f", base});
            tars();
        }
        struct stat updated {};
        const bool ok = SameBytes(target + names.back(), ReadWholeFile(tree + "/" + names.back())) &&
                        ::stat((target + names.front()).c_str(), &updated) == 0 && updated.st_mtime == kSecondTime;
        if (tar.seconds < 0 || tarSync.seconds < 0 || install.seconds < 0 || update.seconds < 0 || !ok) {
            std::fprintf(stderr, "real tree: run %d failed (tar %.3f, tar+sync %.3f, install %.3f, update %.3f)\n", rep,
                         tar.seconds, tarSync.seconds, install.seconds, update.seconds);
            return result;
        }
        std::printf("real tree run %d: tar %s, tar+sync %s\n  fresh install %s, update %s\n", rep,
                    DescribeRun(tar).c_str(), DescribeRun(tarSync).c_str(), DescribeRun(install).c_str(),
                    DescribeRun(update).c_str());
        std::fflush(stdout);
        tarTimes.push_back(tar.seconds);
        tarSyncTimes.push_back(tarSync.seconds);
        installTimes.push_back(install.seconds);
        updateTimes.push_back(update.seconds);
        (void)RemoveTree(FromMultiByte(tarTarget));
        (void)RemoveTree(FromMultiByte(tarSyncTarget));
        (void)RemoveTree(FromMultiByte(target));
    }
    std::printf("real tree: tar %s; tar -xzf + sync -f %s; fresh install %s; update install %s\n",
                Spread(tarTimes, 1e3, "ms").c_str(), Spread(tarSyncTimes, 1e3, "ms").c_str(),
                Spread(installTimes, 1e3, "ms").c_str(), Spread(updateTimes, 1e3, "ms").c_str());
    result.ran = true;
    result.kit = kit;
    result.ratio = Median(installTimes) / Median(tarTimes);
    result.durableRatio = Median(installTimes) / Median(tarSyncTimes);
    result.updateRatio = Median(updateTimes) / Median(tarSyncTimes);
    return result;
}

// A program run with its own environment; its pid, or -1.
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

// Waits for `pid`; its CPU time (user + system) in seconds, or -1 when it did not exit with 0.
double WaitCpu(pid_t pid) {
    int status = 0;
    struct rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An X server of our own, when none is given.
class OwnXServer {
public:
    bool Start() {
        int ends[2];
        if (::pipe(ends) != 0) return false;
        const std::string fd = std::to_string(ends[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
        const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        if (spawned != 0) {
            pid_ = -1;
            ::close(ends[0]);
            return false;
        }
        std::string number;
        char c = 0;
        pollfd waiting{ends[0], POLLIN, 0};
        while (::poll(&waiting, 1, 10000) == 1 && ::read(ends[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(ends[0]);
        if (number.empty()) return false;
        display_ = ":" + number;
        return true;
    }
    ~OwnXServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A private place for one run of the program: the program beside its kit,
// a home and a temporary directory.
struct ProgramPlace {
    std::string root;
    std::string program;

    bool Make(const std::string& parent, const std::string& name, const std::string& setup, const std::string& kit) {
        root = parent + "/" + name;
        program = root + "/app/vxk5-setup";
        ::mkdir(root.c_str(), 0755);
        ::mkdir((root + "/app").c_str(), 0755);
        return Run({"cp", "--", setup, program}) == 0 && Run({"cp", "--", kit, root + "/app/vxk5.efd"}) == 0;
    }
    // A fresh home and temporary directory for the next run.
    std::vector<std::string> Environment(int run, const std::string& display) const {
        const std::string home = root + "/home" + std::to_string(run);
        const std::string tmp = root + "/tmp" + std::to_string(run);
        ::mkdir(home.c_str(), 0755);
        ::mkdir(tmp.c_str(), 0755);
        std::vector<std::string> env = {"HOME=" + home, "TMPDIR=" + tmp, "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
        if (!display.empty()) {
            env.push_back("DISPLAY=" + display);
            // A server that asks for authorisation (xvfb-run's) refuses the program without it.
            if (const char* authority = std::getenv("XAUTHORITY")) env.push_back(std::string("XAUTHORITY=") + authority);
        }
        return env;
    }
};

struct GuiResult {
    bool ran = false;
    double ratio = 0;
};

// CPU time of a silent install with a display over the same without one.
GuiResult BenchGuiCpu(const std::string& base, const std::string& setup, const std::string& display, int reps) {
    GuiResult result;
    TextSource text;
    std::vector<TreeFile> files;
    for (int d = 0; d < 200; ++d) {
        for (int f = 0; f < 20; ++f) {
            char name[96];
            std::snprintf(name, sizeof name, "set%03d/template%04d.cfg", d, d * 20 + f);
            files.push_back({name, text.Make(2000 + static_cast<size_t>((d * 7919 + f * 104729) % 4000))});
        }
    }
    const std::string kit = base + "/gui.efd";
    ProgramPlace place;
    if (!WriteKit(kit, files, kFirstTime) || !place.Make(base, "gui", setup, kit)) {
        std::fprintf(stderr, "gui: cannot set up the program and its kit\n");
        return result;
    }
    std::vector<double> guiTimes;
    std::vector<double> headlessTimes;
    const std::string log = base + "/gui.log";
    int run = 0;
    for (int rep = 0; rep < reps; ++rep) {
        double times[2] = {-1, -1};  // with a display, without
        for (int side : {rep % 2, 1 - rep % 2}) {
            const pid_t pid = Spawn({place.program, "/S"}, place.Environment(run++, side == 0 ? display : ""), log);
            times[side] = pid > 0 ? WaitCpu(pid) : -1;
        }
        if (times[0] < 0 || times[1] < 0) {
            std::fprintf(stderr, "gui: run %d failed; see %s\n", rep, log.c_str());
            return result;
        }
        std::printf("gui run %d: CPU with a display %.0f ms, without %.0f ms\n", rep, times[0] * 1e3, times[1] * 1e3);
        std::fflush(stdout);
        guiTimes.push_back(times[0]);
        headlessTimes.push_back(times[1]);
    }
    std::printf("silent install of %zu files, CPU time of the whole process: with a display (Xvfb) %s; without %s\n",
                files.size(), Spread(guiTimes, 1e3, "ms").c_str(), Spread(headlessTimes, 1e3, "ms").c_str());
    result.ran = true;
    result.ratio = Median(guiTimes) / Median(headlessTimes);
    return result;
}

// Seconds from starting the program (interactive, not silent) to the mapping
// of its window, watched on the X server itself; the program is then ended.
double TimeToWindow(Display* x, const ProgramPlace& place, int run, const std::string& display,
                    const std::string& log) {
    const Window root = DefaultRootWindow(x);
    XSelectInput(x, root, SubstructureNotifyMask);
    XSync(x, True);  // drop what came before
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn({place.program}, place.Environment(run, display), log);
    if (pid < 0) return -1;
    double seconds = -1;
    const int fd = ConnectionNumber(x);
    while (seconds < 0 && Clock::now() - start < std::chrono::seconds(60)) {
        while (XPending(x) > 0) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type != MapNotify) continue;
            char* name = nullptr;
            if (XFetchName(x, event.xmap.window, &name) != 0 && name != nullptr) {
                if (std::strcmp(name, "Installing configuration") == 0) {
                    seconds = std::chrono::duration<double>(Clock::now() - start).count();
                }
                XFree(name);
            }
        }
        if (seconds >= 0) break;
        pollfd waiting{fd, POLLIN, 0};
        ::poll(&waiting, 1, 100);
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return -1;  // ended without a window
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    XSelectInput(x, root, NoEventMask);
    return seconds;
}

// A kit of at least 500 MB, as large kits come: 20,000 files of 26,000 bytes
// that do not compress (a xorshift stream), written at level 1.
std::string MakeBigKit(const std::string& base) {
    const std::string kit = base + "/big.efd";
    std::vector<TreeFile> files;
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 20000; ++i) {
        TreeFile file{"set" + std::to_string(i / 500) + "/t" + std::to_string(i) + ".bin", std::string(26000, '\0')};
        for (size_t at = 0; at + 8 <= file.bytes.size(); at += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(&file.bytes[at], &state, 8);
        }
        files.push_back(std::move(file));
    }
    return WriteKit(kit, files, kFirstTime, 1) ? kit : std::string();
}

struct StartResult {
    bool ran = false;
    double ratio = 0;  // big kit's median over the demo kit's
};

// Exec to mapped window with the demo kit and with a big kit, alternately.
StartResult BenchStart(const std::string& base, const std::string& setup, const std::string& display,
                       const std::string& demoKit, const std::string& bigKit, int reps) {
    StartResult result;
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) {
        std::printf("start: cannot open display %s, skipped\n", display.c_str());
        return result;
    }
    ProgramPlace places[2];
    const char* const names[2] = {"demo kit", "big kit"};
    const std::string kits[2] = {demoKit, bigKit};
    double sizes[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        struct stat status {};
        if (!places[k].Make(base, k == 0 ? "start-demo" : "start-big", setup, kits[k]) ||
            ::stat(kits[k].c_str(), &status) != 0) {
            std::printf("start: cannot set up the program with the %s\n", names[k]);
            XCloseDisplay(x);
            return result;
        }
        sizes[k] = static_cast<double>(status.st_size) / 1e6;
    }
    std::vector<double> times[2];
    for (int rep = 0; rep < reps; ++rep) {
        for (int k : {rep % 2, 1 - rep % 2}) {
            const double seconds = TimeToWindow(x, places[k], rep, display, base + "/start.log");
            if (seconds < 0) {
                std::printf("start with the %s: no window appeared; see %s/start.log\n", names[k], base.c_str());
                XCloseDisplay(x);
                return result;
            }
            times[k].push_back(seconds);
            (void)RemoveTree(FromMultiByte(places[k].root + "/home" + std::to_string(rep)));
            (void)RemoveTree(FromMultiByte(places[k].root + "/tmp" + std::to_string(rep)));
        }
        std::printf("start run %d: demo kit %.0f ms, big kit %.0f ms\n", rep, times[0].back() * 1e3,
                    times[1].back() * 1e3);
        std::fflush(stdout);
    }
    for (int k = 0; k < 2; ++k) {
        std::printf("start to a mapped window, %s (%.1f MB): %s\n", names[k], sizes[k],
                    Spread(times[k], 1e3, "ms").c_str());
    }
    std::fflush(stdout);
    XCloseDisplay(x);
    for (const ProgramPlace& place : places) (void)RemoveTree(FromMultiByte(place.root));
    result.ran = true;
    result.ratio = Median(times[1]) / Median(times[0]);
    return result;
}

struct Options {
    int reps = 7;
    bool keep = false;
    bool real = true;
    bool gui = true;
    std::string tree = "/usr/include";
    std::string setup = VXK5_SETUP_PATH;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            options.reps = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--tree") == 0 && i + 1 < argc) {
            options.tree = argv[++i];
        } else if (std::strcmp(argv[i], "--setup") == 0 && i + 1 < argc) {
            options.setup = argv[++i];
        } else if (std::strcmp(argv[i], "--skip-real") == 0) {
            options.real = false;
        } else if (std::strcmp(argv[i], "--skip-gui") == 0) {
            options.gui = false;
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            options.keep = true;
        }
    }
    return options;
}

// The generated tree under `base`/src, and its two kits and archive.
struct GeneratedTree {
    std::vector<TreeFile> files;
    std::string firstKit;
    std::string secondKit;  // every file newer
    std::string archive;
};

GeneratedTree MakeTree(const std::string& base) {
    GeneratedTree tree;
    TextSource text;
    size_t total = 0;
    const std::string source = base + "/src";
    ::mkdir(source.c_str(), 0755);
    for (int d = 0; d < kDirectories; ++d) {
        char directory[64];
        std::snprintf(directory, sizeof directory, "group%02d", d);
        ::mkdir((source + "/" + directory).c_str(), 0755);
        for (int f = 0; f < kFilesPerDirectory; ++f) {
            char name[96];
            std::snprintf(name, sizeof name, "%s/template%04d.cfg", directory, d * kFilesPerDirectory + f);
            const size_t size = 5000 + static_cast<size_t>((d * 7919 + f * 104729) % 10000);
            tree.files.push_back({name, text.Make(size)});
            total += size;
            const std::string path = source + "/" + name;
            if (!WriteWholeFile(path, tree.files.back().bytes)) Fail(kProgram, "cannot write " + path);
            const struct timespec times[2] = {{kFirstTime, 0}, {kFirstTime, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
    }
    tree.firstKit = base + "/first.efd";
    tree.secondKit = base + "/second.efd";
    tree.archive = base + "/tree.tar.gz";
    if (!WriteKit(tree.firstKit, tree.files, kFirstTime) || !WriteKit(tree.secondKit, tree.files, kSecondTime)) {
        Fail(kProgram, "cannot write the kits");
    }
    if (Run({"tar", "-czf", tree.archive, "-C", source, "."}) != 0) Fail(kProgram, "tar -czf failed");
    struct stat kitStatus {};
    struct stat tarStatus {};
    if (::stat(tree.firstKit.c_str(), &kitStatus) != 0 || ::stat(tree.archive.c_str(), &tarStatus) != 0) {
        Fail(kProgram, "cannot see the kit or the archive");
    }
    std::printf("tree: %zu files in %d directories, %.1f MB; kit %.1f MB, tar.gz %.1f MB\n", tree.files.size(),
                kDirectories, static_cast<double>(total) / 1e6, static_cast<double>(kitStatus.st_size) / 1e6,
                static_cast<double>(tarStatus.st_size) / 1e6);
    return tree;
}

struct TreeTimes {
    double tar = 0;     // medians
    double fresh = 0;
    double update = 0;
};

// tar -xzf, a fresh installation and an update of every file, `reps` times.
TreeTimes BenchGeneratedTree(const GeneratedTree& tree, const std::string& base, int reps) {
    std::vector<double> tarTimes;
    std::vector<double> freshTimes;
    std::vector<double> updateTimes;
    for (int rep = 0; rep < reps; ++rep) {
        const std::string tarTarget = base + "/tar" + std::to_string(rep);
        const std::string target = base + "/installed" + std::to_string(rep) + "/";
        const Measured tar = TimeTar(tree.archive, tarTarget);
        const Measured fresh = TimeInstall(tree.firstKit, target);
        const bool freshOk = SameBytes(target + tree.files.back().relative, tree.files.back().bytes);
        const Measured update = TimeInstall(tree.secondKit, target);
        struct stat updated {};
        const bool updateOk = ::stat((target + tree.files.front().relative).c_str(), &updated) == 0 &&
                              updated.st_mtime == kSecondTime;
        if (tar.seconds < 0 || fresh.seconds < 0 || update.seconds < 0 || !freshOk || !updateOk) {
            char text[160];
            std::snprintf(text, sizeof text, "run %d failed (tar %.3f, fresh %.3f, update %.3f)", rep, tar.seconds,
                          fresh.seconds, update.seconds);
            Fail(kProgram, text);
        }
        std::printf("run %d: tar %s, fresh %s, update %s\n", rep, DescribeRun(tar).c_str(),
                    DescribeRun(fresh).c_str(), DescribeRun(update).c_str());
        std::fflush(stdout);
        tarTimes.push_back(tar.seconds);
        freshTimes.push_back(fresh.seconds);
        updateTimes.push_back(update.seconds);
        (void)RemoveTree(FromMultiByte(tarTarget));
        (void)RemoveTree(FromMultiByte(target));
    }
    std::printf("tmpfs tree: tar %s; fresh install %s; update install %s\n", Spread(tarTimes, 1e3, "ms").c_str(),
                Spread(freshTimes, 1e3, "ms").c_str(), Spread(updateTimes, 1e3, "ms").c_str());
    std::fflush(stdout);
    return {Median(tarTimes), Median(freshTimes), Median(updateTimes)};
}

// The real program: its CPU time with and without a display, and its start.
GuiResult BenchProgram(const Options& options, const std::string& base, StartResult& start) {
    OwnXServer server;
    std::string display;
    if (const char* given = std::getenv("DISPLAY"); given != nullptr && *given != 0) {
        display = given;
    } else if (server.Start()) {
        display = server.Display();
    }
    if (display.empty()) {
        std::printf("gui: no display and Xvfb could not be started, skipped\n");
        return {};
    }
    if (::access(options.setup.c_str(), X_OK) != 0) {
        std::printf("gui: no program at %s, skipped\n", options.setup.c_str());
        return {};
    }
    std::printf("gui: display %s%s; program %s; runs in %s (%s)\n", display.c_str(),
                display == server.Display() ? " (Xvfb started here)" : "", options.setup.c_str(), base.c_str(),
                FileSystemName(base).c_str());
    std::fflush(stdout);
    const GuiResult result = BenchGuiCpu(base, options.setup, display, options.reps);
    const std::string demoKit = base + "/demo.efd";
    if (Run({VXK5_DEMO_KIT_SCRIPT, VXK5_KIT_TOOL, demoKit}) != 0) {
        std::printf("start: the demo kit could not be made\n");
        return result;
    }
    const std::string bigKit = MakeBigKit(base);
    if (bigKit.empty()) {
        std::printf("start: the big kit could not be made\n");
        return result;
    }
    start = BenchStart(base, options.setup, display, demoKit, bigKit, std::max(options.reps, 5));
    (void)RemoveTree(FromMultiByte(bigKit));
    return result;
}

}  // namespace

}  // namespace vxk5

using namespace vxk5;

int main(int argc, char** argv) {
    if (int status = 0; RunInstallChildIfAsked(argc, argv, status)) return status;
    const Options options = ParseOptions(argc, argv);
    const std::string tempParent = TemporaryDirectory();
    InitProcessLocale();
    SetCurrentLanguage(kLanguageEnglish);

    const std::string base = MakeScratchDirectory("vxk5-bench-install", true);
    std::printf("where: %s (%s)\n", base.c_str(), IsOnShm(base) ? "tmpfs /dev/shm" : "temporary directory, not a tmpfs");
    const std::string temp = base + "/tmp";
    ::mkdir(temp.c_str(), 0755);
    ::setenv("TMPDIR", temp.c_str(), 1);  // the unpacked container and the backup tree go here

    const TreeTimes times = BenchGeneratedTree(MakeTree(base), base, options.reps);
    RealTreeResult realTree;
    if (options.real) realTree = BenchRealTree(options.tree, tempParent, options.reps);
    GuiResult guiCpu;
    StartResult start;
    if (options.gui) guiCpu = BenchProgram(options, base, start);
    if (!options.keep) {
        (void)RemoveTree(FromMultiByte(base));
        if (!realTree.base.empty()) (void)RemoveTree(FromMultiByte(realTree.base));
    }

    std::printf("median: tar %.1f ms, fresh install %.1f ms, update install %.1f ms (tmpfs)\n", times.tar * 1e3,
                times.fresh * 1e3, times.update * 1e3);
    std::printf("targets: fresh_vs_tar <= 1.0, update_vs_tar <= 1.4, real_tree_vs_tar <= 1.2 (aim 1.0), "
                "durable_tree_vs_tar_sync <= 1.0, gui_cpu_vs_headless <= 1.3, window_big_vs_demo <= 2.0; "
                "update_disk_vs_tar (an update of every file on the disk over tar -xzf + sync -f) has no bar\n");
    std::printf("RESULT fresh_vs_tar=%.3f\n", times.fresh / times.tar);
    std::printf("RESULT update_vs_tar=%.3f\n", times.update / times.tar);
    if (realTree.ran) {
        std::printf("RESULT real_tree_vs_tar=%.3f\n", realTree.ratio);
        std::printf("RESULT durable_tree_vs_tar_sync=%.3f\n", realTree.durableRatio);
        std::printf("RESULT update_disk_vs_tar=%.3f\n", realTree.updateRatio);
    }
    if (guiCpu.ran) std::printf("RESULT gui_cpu_vs_headless=%.3f\n", guiCpu.ratio);
    if (start.ran) std::printf("RESULT window_big_vs_demo=%.3f\n", start.ratio);
    return 0;
}
