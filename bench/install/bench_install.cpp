// bench-install: how long a kit takes from its file to the installed tree,
// next to tar -xzf of the same tree in the same run.
//
// Makes, in a private directory (on /dev/shm when there is one, so that the
// kit, the temporary directory and the target share one tmpfs), a tree of
// 2,000 text-like files in 100 directories (about 20 MB), two kits of it (the
// second with every file newer) and a .tar.gz of it made once by tar -czf.
// Then, several times over, alternately:
//   tar     tar -xzf of the archive into an empty directory;
//   fresh   ReadKit (unpack and read) of the first kit and the installation
//           job into an empty directory, up to the job's final post;
//   update  the same for the second kit into that directory, every file
//           replaced.
// The pause the job makes after its final post is not counted: the job is run
// with it switched off. The medians are compared; the last two lines are
// "RESULT fresh_vs_tar=R" and "RESULT update_vs_tar=R" (install time / tar time).
//
// Options: --reps N (default 7), --keep (leave the directory in place).

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

namespace {

constexpr int kDirectories = 100;
constexpr int kFilesPerDirectory = 20;
constexpr int64_t kFirstTime = 1577836800;   // 2020-01-01
constexpr int64_t kSecondTime = 1609459200;  // 2021-01-01

using Clock = std::chrono::steady_clock;

WString Wide(const std::string& text) { return FromMultiByte(AString(text.c_str(), text.size())); }

// Configuration-like text from a fixed pseudo-random sequence: deflate finds
// matches, but not only matches.
class TextSource {
public:
    std::string Make(size_t size) {
        static const char* const kWords[] = {
            "panel",  "launcher", "template", "desktop",   "Exec=",     "Name=",     "Icon=",  "Type=Application",
            "true",   "false",    "size",     "bottom",    "clock",     "workspace", "terminal", "editor",
            "export", "PATH",     "alias",    "color",     "#002b36",   "font",      "Monospace", "[profile]",
            "set",    "tabsize",  "width",    "height",    "=",         ";",         "\n",     "\n",
        };
        std::string out;
        out.reserve(size + 32);
        while (out.size() < size) {
            const uint64_t r = Next();
            if ((r & 7) == 0) {
                out += std::to_string((r >> 8) % 100000);
            } else {
                out += kWords[(r >> 3) % (sizeof kWords / sizeof kWords[0])];
            }
            out += (r >> 40) % 5 == 0 ? '\n' : ' ';
        }
        out.resize(size);
        return out;
    }

private:
    uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

struct TreeFile {
    std::string relative;  // "/" separated
    std::string bytes;
};

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// Runs a program with an argument vector (no shell) and waits. Its exit status, or -1.
int Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WriteKit(const std::string& path, const std::vector<TreeFile>& files, int64_t unixTime) {
    std::vector<KitFileEntry> entries;
    uint32_t offset = 0;
    const FileTime time = UnixTimeToFileTime(unixTime);
    for (const TreeFile& file : files) {
        KitFileEntry entry;
        std::string name = file.relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        entry.name = Wide(name);
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
    if (writer.Open(Wide(path)) != 0 || writer.Write(head.data(), head.size()) != 0) return false;
    for (const TreeFile& file : files) {
        if (writer.Write(file.bytes.data(), file.bytes.size()) != 0) return false;
    }
    return writer.Finish() == 0;
}

// ReadKit and the job into `target`; seconds up to the final post, or -1.
double TimeInstall(const std::string& kitPath, const std::string& target) {
    const Clock::time_point start = Clock::now();
    Clock::time_point finalPost = start;
    DistributionKit kit;
    if (ReadKit(kit, Wide(kitPath)) != 0) return -1;
    InstallJobState state;
    SetupJob(state, &kit, Wide(target));
    InstallJob job;
    job.finalPauseMilliseconds = 0;  // the pause after the final post is not counted
    job.postObserver = [&finalPost](uint32_t code, const WString&, uint32_t percent) {
        if (code != 0 || percent >= 100) finalPost = Clock::now();
    };
    if (RunInstallJob(job, state) != 0) return -1;
    return std::chrono::duration<double>(finalPost - start).count();
}

double TimeTar(const std::string& archive, const std::string& target) {
    if (::mkdir(target.c_str(), 0755) != 0) return -1;
    const Clock::time_point start = Clock::now();
    if (Run({"tar", "-xzf", archive, "-C", target}) != 0) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool SameBytes(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::string read(bytes.size() + 1, '\0');
    const size_t got = std::fread(&read[0], 1, read.size(), file);
    std::fclose(file);
    return got == bytes.size() && std::memcmp(read.data(), bytes.data(), got) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        }
    }
    InitProcessLocale();
    SetCurrentLanguage(kLanguageEnglish);

    struct stat status;
    const bool shm = ::stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) && ::access("/dev/shm", W_OK) == 0;
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string parent = shm ? "/dev/shm" : (tmpdir != nullptr && *tmpdir != 0 ? tmpdir : "/tmp");
    std::string pattern = parent + "/vxk5-bench-install-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = pattern;
    std::printf("where: %s (%s)\n", base.c_str(), shm ? "tmpfs /dev/shm" : "temporary directory, not a tmpfs");
    const std::string temp = base + "/tmp";
    ::mkdir(temp.c_str(), 0755);
    ::setenv("TMPDIR", temp.c_str(), 1);  // the unpacked container and the backup tree go here

    // The tree.
    TextSource text;
    std::vector<TreeFile> files;
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
            files.push_back({name, text.Make(size)});
            total += size;
            const std::string path = source + "/" + name;
            if (!WriteWholeFile(path, files.back().bytes)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            const struct timespec times[2] = {{kFirstTime, 0}, {kFirstTime, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
    }
    const std::string kit1 = base + "/first.efd";
    const std::string kit2 = base + "/second.efd";
    const std::string archive = base + "/tree.tar.gz";
    if (!WriteKit(kit1, files, kFirstTime) || !WriteKit(kit2, files, kSecondTime)) {
        std::fprintf(stderr, "cannot write the kits\n");
        return 1;
    }
    if (Run({"tar", "-czf", archive, "-C", source, "."}) != 0) {
        std::fprintf(stderr, "tar -czf failed\n");
        return 1;
    }
    struct stat kitStatus;
    struct stat tarStatus;
    ::stat(kit1.c_str(), &kitStatus);
    ::stat(archive.c_str(), &tarStatus);
    std::printf("tree: %zu files in %d directories, %.1f MB; kit %.1f MB, tar.gz %.1f MB\n", files.size(),
                kDirectories, static_cast<double>(total) / 1e6, static_cast<double>(kitStatus.st_size) / 1e6,
                static_cast<double>(tarStatus.st_size) / 1e6);

    std::vector<double> tarTimes;
    std::vector<double> freshTimes;
    std::vector<double> updateTimes;
    for (int rep = 0; rep < reps; ++rep) {
        const std::string tarTarget = base + "/tar" + std::to_string(rep);
        const std::string target = base + "/installed" + std::to_string(rep) + "/";
        const double tarTime = TimeTar(archive, tarTarget);
        const double freshTime = TimeInstall(kit1, target);
        const bool freshOk = SameBytes(target + files.back().relative, files.back().bytes);
        const double updateTime = TimeInstall(kit2, target);
        struct stat updated;
        const bool updateOk = ::stat((target + files.front().relative).c_str(), &updated) == 0 &&
                              updated.st_mtime == kSecondTime;
        if (tarTime < 0 || freshTime < 0 || updateTime < 0 || !freshOk || !updateOk) {
            std::fprintf(stderr, "run %d failed (tar %.3f, fresh %.3f, update %.3f)\n", rep, tarTime, freshTime,
                         updateTime);
            return 1;
        }
        std::printf("run %d: tar %.1f ms, fresh %.1f ms, update %.1f ms\n", rep, tarTime * 1e3, freshTime * 1e3,
                    updateTime * 1e3);
        std::fflush(stdout);
        tarTimes.push_back(tarTime);
        freshTimes.push_back(freshTime);
        updateTimes.push_back(updateTime);
        (void)RemoveTree(Wide(tarTarget));
        (void)RemoveTree(Wide(target));
    }
    if (!keep) (void)RemoveTree(Wide(base));

    const double tar = Median(tarTimes);
    const double fresh = Median(freshTimes);
    const double update = Median(updateTimes);
    std::printf("median: tar %.1f ms, fresh install %.1f ms, update install %.1f ms\n", tar * 1e3, fresh * 1e3,
                update * 1e3);
    std::printf("RESULT fresh_vs_tar=%.3f\n", fresh / tar);
    std::printf("RESULT update_vs_tar=%.3f\n", update / tar);
    return 0;
}
