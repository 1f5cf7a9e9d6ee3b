// bench-unpack: how fast UnpackKit is next to a plain raw inflate of the same
// stream into one buffer, and whether memory grows with the kit.
//
// Makes two kits in a private temporary directory (on /dev/shm when there is
// one, so that the disk's throttling does not decide the result): one that
// inflates to 256 MiB of text-like data and one of 1 MiB. Then
//   - times UnpackKit and the plain inflate alternately, several times each,
//     and compares the fastest runs (the ratio is inflate time / unpack time).
//     The reference allocates its output buffer as part of the work, since
//     UnpackKit too must put every output byte into new pages (of the
//     container); the ratio against a buffer faulted in beforehand is printed
//     as well;
//   - runs this program again on each kit (a fresh process, so nothing of this
//     one counts) to unpack and read it and report its peak resident memory.
// The last two lines are "RESULT unpack_vs_inflate=R" and "RESULT rss_growth_kib=N".
//
// Options: --size-mib N (size of the large kit, default 256), --reps N (default 5),
// --keep (leave the kits in place for a closer look).

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_unpack.h"
#include "kit/kit_writer.h"
#include "platform/file_system.h"

extern char** environ;

namespace {

constexpr uint32_t kFileSize = 1 << 20;  // each file of a kit holds 1 MiB
constexpr int kBenchLevel = 6;           // inflate speed hardly depends on the level; level 9 only takes longer to make

WString Wide(const std::string& text) { return FromMultiByte(AString(text.c_str(), text.size())); }

// Text-like bytes: words and numbers from a fixed pseudo-random sequence, so
// deflate finds matches but not only matches (about 3:1).
class TextSource {
public:
    void Fill(uint8_t* out, size_t size) {
        static const char* const kWords[] = {
            "panel",  "launcher", "template", "desktop", "Exec=",   "Name=",   "Icon=",  "Type=Application",
            "true",   "false",    "size",     "bottom",  "clock",   "workspace", "terminal", "editor",
            "export", "PATH",     "alias",    "color",   "#002b36", "font",    "Monospace", "[profile]",
            "set",    "tabsize",  "width",    "height",  "=",       ";",       "\n",     "\n",
        };
        size_t i = 0;
        while (i < size) {
            const uint64_t r = Next();
            std::string piece;
            if ((r & 7) == 0) {
                piece = std::to_string((r >> 8) % 100000);
            } else {
                piece = kWords[(r >> 3) % (sizeof kWords / sizeof kWords[0])];
            }
            piece += (r >> 40) % 5 == 0 ? '\n' : ' ';
            const size_t n = std::min(piece.size(), size - i);
            std::memcpy(out + i, piece.data(), n);
            i += n;
        }
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

// Writes a kit of `files` files of kFileSize bytes; returns the container size.
uint64_t MakeKit(const std::string& path, uint32_t files) {
    std::vector<KitDescription> descriptions{{u"en", u"Benchmark templates", u"Bench", u"docs\\readme.txt"}};
    std::vector<KitFileEntry> entries;
    for (uint32_t i = 0; i < files; ++i) {
        KitFileEntry entry;
        entry.name = Wide("templates\\part" + std::to_string(i) + ".conf");
        entry.offset = i * kFileSize;
        entry.size = kFileSize;
        entries.push_back(entry);
    }
    const std::string head = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, descriptions, entries);
    KitFileWriter writer;
    if (writer.Open(Wide(path), kBenchLevel) != 0 || writer.Write(head.data(), head.size()) != 0) {
        std::fprintf(stderr, "bench-unpack: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    TextSource source;
    std::vector<uint8_t> block(kFileSize);
    for (uint32_t i = 0; i < files; ++i) {
        source.Fill(block.data(), block.size());
        if (writer.Write(block.data(), block.size()) != 0) {
            std::fprintf(stderr, "bench-unpack: cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
    if (writer.Finish() != 0) {
        std::fprintf(stderr, "bench-unpack: cannot finish %s\n", path.c_str());
        std::exit(1);
    }
    return head.size() + static_cast<uint64_t>(files) * kFileSize;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The reference: one raw inflate of the whole stream, in memory, into one
// buffer. With `fresh`, the buffer is allocated inside the timing, as a plain
// inflating program would do it: like the container's pages, its pages are new
// memory. Otherwise `warm` is used, a buffer already faulted in.
double TimeInflate(const std::string& kit, std::vector<uint8_t>& warm, uint64_t expected, bool fresh) {
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<uint8_t[]> allocated(fresh ? new uint8_t[expected] : nullptr);
    uint8_t* output = fresh ? allocated.get() : warm.data();
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) std::exit(1);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kit.data()));
    stream.avail_in = static_cast<uInt>(kit.size());
    stream.next_out = output;
    stream.avail_out = static_cast<uInt>(expected);
    const int result = inflate(&stream, Z_FINISH);
    const uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (result != Z_STREAM_END || produced != expected) {
        std::fprintf(stderr, "bench-unpack: reference inflate failed (%d)\n", result);
        std::exit(1);
    }
    return seconds;
}

double TimeUnpack(const std::string& kit, uint64_t expected) {
    WString container;
    if (CreateKitTempFile(container) != 0) {
        std::fprintf(stderr, "bench-unpack: cannot make a temporary file\n");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const uint32_t code = UnpackKit(Wide(kit), container);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    uint32_t size = 0;
    const bool sizeKnown = GetFileSizeByPath(container, &size) == 0;
    RemoveFile(container);
    if (code != 0 || !sizeKnown || size != static_cast<uint32_t>(expected)) {
        std::fprintf(stderr, "bench-unpack: UnpackKit failed (%u)\n", code);
        std::exit(1);
    }
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Peak resident memory (VmHWM, KiB) of a fresh run of this program that reads `kit`.
long MeasurePeakRss(const std::string& self, const std::string& kit) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::string mode = "--rss-child";
    std::vector<char*> argv{const_cast<char*>(self.c_str()), mode.data(), const_cast<char*>(kit.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string text;
    char chunk[256];
    ssize_t n = 0;
    while ((n = read(pipeEnds[0], chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
    close(pipeEnds[0]);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::atol(text.c_str());
}

// The child: unpack and read the kit as the installer does, then report VmHWM.
int RssChild(const char* kitPath) {
    InitProcessLocale();
    long peak = -1;
    {
        DistributionKit kit;
        if (ReadKit(kit, Wide(kitPath)) != 0 || kit.entries.empty()) return 1;
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmHWM:", 0) == 0) peak = std::atol(line.c_str() + 6);
        }
    }
    if (peak < 0) return 1;
    std::printf("%ld\n", peak);
    return 0;
}

std::string MakeWorkDirectory() {
    std::string base = "/dev/shm";
    if (access(base.c_str(), W_OK) != 0) {
        const char* tmp = std::getenv("TMPDIR");
        base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    std::string pattern = base + "/bench-unpack-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "bench-unpack: cannot make a directory in %s\n", base.c_str());
        std::exit(1);
    }
    return pattern;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--rss-child") == 0) return RssChild(argv[2]);
    uint32_t sizeMib = 256;
    int reps = 5;
    bool keep = false;
    for (int i = 1; i < argc; ++i) keep = keep || std::strcmp(argv[i], "--keep") == 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--size-mib") == 0) sizeMib = static_cast<uint32_t>(std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--reps") == 0) reps = std::max(1, std::atoi(argv[i + 1]));
    }
    InitProcessLocale();
    char selfPath[4096] = {};
    if (readlink("/proc/self/exe", selfPath, sizeof selfPath - 1) <= 0) return 1;

    const std::string work = MakeWorkDirectory();
    setenv("TMPDIR", work.c_str(), 1);  // the unpacked containers go there as well
    const std::string bigKit = work + "/big.efd";
    const std::string smallKit = work + "/small.efd";

    std::printf("bench-unpack: making kits in %s\n", work.c_str());
    std::fflush(stdout);
    const uint64_t bigSize = MakeKit(bigKit, sizeMib);
    const uint64_t smallSize = MakeKit(smallKit, 1);
    const std::string bigBytes = ReadWholeFile(bigKit);
    std::printf("large kit: %zu bytes, inflates to %llu bytes\n", bigBytes.size(),
                static_cast<unsigned long long>(bigSize));
    std::printf("small kit: inflates to %llu bytes\n", static_cast<unsigned long long>(smallSize));

    std::vector<uint8_t> warm(bigSize, 1);  // faulted in once, outside the timing
    std::vector<double> freshTimes;
    std::vector<double> warmTimes;
    std::vector<double> unpackTimes;
    for (int r = 0; r < reps; ++r) {
        freshTimes.push_back(TimeInflate(bigBytes, warm, bigSize, true));
        unpackTimes.push_back(TimeUnpack(bigKit, bigSize));
        warmTimes.push_back(TimeInflate(bigBytes, warm, bigSize, false));
        std::printf("run %d: inflate into a new buffer %.3f s, into a warm buffer %.3f s, UnpackKit %.3f s\n", r + 1,
                    freshTimes.back(), warmTimes.back(), unpackTimes.back());
        std::fflush(stdout);
    }
    const auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    const double inflateBest = best(freshTimes);
    const double unpackBest = best(unpackTimes);
    const double mib = static_cast<double>(bigSize) / (1 << 20);
    std::printf("inflate, new buffer:  fastest %.3f s (%.0f MiB/s), median %.3f s\n", inflateBest, mib / inflateBest,
                Median(freshTimes));
    std::printf("inflate, warm buffer: fastest %.3f s (%.0f MiB/s), median %.3f s\n", best(warmTimes),
                mib / best(warmTimes), Median(warmTimes));
    std::printf("UnpackKit:            fastest %.3f s (%.0f MiB/s), median %.3f s\n", unpackBest, mib / unpackBest,
                Median(unpackTimes));
    std::printf("ratios (inflate / UnpackKit): new buffer %.3f (median %.3f), warm buffer %.3f (median %.3f)\n",
                inflateBest / unpackBest, Median(freshTimes) / Median(unpackTimes), best(warmTimes) / unpackBest,
                Median(warmTimes) / Median(unpackTimes));

    std::vector<uint8_t>().swap(warm);
    const long smallPeak = MeasurePeakRss(selfPath, smallKit);
    const long bigPeak = MeasurePeakRss(selfPath, bigKit);
    if (keep) {
        std::printf("kits kept in %s\n", work.c_str());
    } else {
        RemoveTree(Wide(work));
    }
    if (smallPeak < 0 || bigPeak < 0) {
        std::fprintf(stderr, "bench-unpack: the memory measurement failed\n");
        return 1;
    }
    std::printf("peak RSS of unpacking and reading: 1 MiB kit %ld KiB, %u MiB kit %ld KiB\n", smallPeak, sizeMib,
                bigPeak);
    const double ratio = inflateBest / unpackBest;
    std::printf("target: unpack_vs_inflate >= 0.9 (%s), rss_growth_kib <= 8192 (%s)\n",
                ratio >= 0.9 ? "met" : "missed", bigPeak - smallPeak <= 8192 ? "met" : "missed");
    std::printf("RESULT unpack_vs_inflate=%.3f\n", ratio);
    std::printf("RESULT rss_growth_kib=%ld\n", bigPeak - smallPeak);
    return 0;
}
