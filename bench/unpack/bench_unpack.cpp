// bench-unpack: how fast UnpackKit is next to zlib's plain raw inflate of the
// same stream, and whether memory grows with the kit.
//
// Makes two kits in a private temporary directory (on /dev/shm when there is
// one, so that the disk's throttling does not decide the result): one that
// inflates to 256 MiB of text-like data and one of 1 MiB. Then
//   - times, alternately and several times each, the reference and UnpackKit.
//     The reference is zlib's raw inflate of the kit's bytes, already in
//     memory, into one reused 256 KiB buffer whose output is thrown away: the
//     pure cost of zlib's inflating, with no page faults and no writing.
//     UnpackKit reads the kit file and writes the whole container. The result
//     is the median over the runs of reference time / unpack time; each side's
//     median and spread are printed as well. For comparison it also prints zlib inflating into a freshly
//     allocated buffer of the whole size and ISA-L's inflate into a reused
//     buffer (what is left of UnpackKit without its file work);
//   - runs this program again on each kit (a fresh process, so nothing of this
//     one counts) to unpack and read it and report its peak resident memory.
// The last two lines are "RESULT unpack_vs_inflate=R" and "RESULT rss_growth_kib=N".
//
// Options: --size-mib N (size of the large kit, default 256), --reps N (default
// 9, at least 7), --keep (leave the kits in place for a closer look).

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <isa-l/igzip_lib.h>
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

constexpr size_t kReuseBufferSize = 256 * 1024;

void CheckProduced(const char* what, bool ok, uint64_t produced, uint64_t expected) {
    if (!ok || produced != expected) {
        std::fprintf(stderr, "bench-unpack: %s failed (%llu of %llu bytes)\n", what,
                     static_cast<unsigned long long>(produced), static_cast<unsigned long long>(expected));
        std::exit(1);
    }
}

// The reference: zlib's raw inflate of the whole stream, in memory, through one
// reused buffer of 256 KiB (already faulted in) whose output is dropped.
double TimeZlibReused(const std::string& kit, uint8_t* buffer, uint64_t expected) {
    const auto start = std::chrono::steady_clock::now();
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) std::exit(1);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kit.data()));
    stream.avail_in = static_cast<uInt>(kit.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = buffer;
        stream.avail_out = kReuseBufferSize;
        result = inflate(&stream, Z_NO_FLUSH);
    }
    const uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    CheckProduced("zlib inflate", result == Z_STREAM_END, produced, expected);
    return seconds;
}

// For comparison: zlib inflating into one new buffer of the whole size,
// allocated inside the timing, so that every output byte lands in a new page.
double TimeZlibFresh(const std::string& kit, uint64_t expected) {
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<uint8_t[]> output(new uint8_t[expected]);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) std::exit(1);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kit.data()));
    stream.avail_in = static_cast<uInt>(kit.size());
    stream.next_out = output.get();
    stream.avail_out = static_cast<uInt>(expected);
    const int result = inflate(&stream, Z_FINISH);
    const uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    CheckProduced("zlib inflate into a new buffer", result == Z_STREAM_END, produced, expected);
    return seconds;
}

// For comparison: ISA-L's inflate, as UnpackKit uses it, through the reused buffer.
double TimeIsalReused(const std::string& kit, uint8_t* buffer, uint64_t expected) {
    const auto start = std::chrono::steady_clock::now();
    const auto state = std::make_unique<inflate_state>();
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_DEFLATE;
    state->next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(kit.data()));
    state->avail_in = static_cast<uint32_t>(kit.size());
    uint64_t produced = 0;
    int result = ISAL_DECOMP_OK;
    while (result == ISAL_DECOMP_OK && state->block_state != ISAL_BLOCK_FINISH) {
        state->next_out = buffer;
        state->avail_out = kReuseBufferSize;
        result = isal_inflate(state.get());
        produced += kReuseBufferSize - state->avail_out;
    }
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    CheckProduced("ISA-L inflate", result == ISAL_DECOMP_OK, produced, expected);
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

// "median 0.412 s (0.405-0.431, spread 6.2 %)": the fastest and slowest run,
// and their distance as a share of the median.
std::string Summary(const std::vector<double>& values) {
    const double median = Median(values);
    const double low = *std::min_element(values.begin(), values.end());
    const double high = *std::max_element(values.begin(), values.end());
    char text[128];
    std::snprintf(text, sizeof text, "median %.3f s (%.3f-%.3f, spread %.1f %%)", median, low, high,
                  100 * (high - low) / median);
    return text;
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
    int reps = 9;
    bool keep = false;
    for (int i = 1; i < argc; ++i) keep = keep || std::strcmp(argv[i], "--keep") == 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--size-mib") == 0) sizeMib = static_cast<uint32_t>(std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--reps") == 0) reps = std::max(7, std::atoi(argv[i + 1]));
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

    std::vector<uint8_t> reused(kReuseBufferSize, 1);  // faulted in once, outside the timing
    std::vector<double> zlibTimes;
    std::vector<double> unpackTimes;
    std::vector<double> freshTimes;
    std::vector<double> isalTimes;
    for (int r = 0; r < reps; ++r) {
        // Alternate which side goes first, so neither always finds a warmer machine.
        if (r % 2 == 0) {
            zlibTimes.push_back(TimeZlibReused(bigBytes, reused.data(), bigSize));
            unpackTimes.push_back(TimeUnpack(bigKit, bigSize));
        } else {
            unpackTimes.push_back(TimeUnpack(bigKit, bigSize));
            zlibTimes.push_back(TimeZlibReused(bigBytes, reused.data(), bigSize));
        }
        freshTimes.push_back(TimeZlibFresh(bigBytes, bigSize));
        isalTimes.push_back(TimeIsalReused(bigBytes, reused.data(), bigSize));
        std::printf("run %d: zlib inflate (reused 256 KiB buffer) %.3f s, UnpackKit %.3f s, ratio %.3f;"
                    " zlib into a new buffer %.3f s, ISA-L (reused buffer) %.3f s\n",
                    r + 1, zlibTimes.back(), unpackTimes.back(), zlibTimes.back() / unpackTimes.back(),
                    freshTimes.back(), isalTimes.back());
        std::fflush(stdout);
    }
    const double mib = static_cast<double>(bigSize) / (1 << 20);
    const double zlibMedian = Median(zlibTimes);
    const double unpackMedian = Median(unpackTimes);
    std::printf("file system of the kits and containers: %s\n",
                work.rfind("/dev/shm", 0) == 0 ? "tmpfs (/dev/shm)" : "the temporary directory's");
    std::printf("zlib inflate, reused buffer:   %s, %.0f MiB/s\n", Summary(zlibTimes).c_str(), mib / zlibMedian);
    std::printf("UnpackKit (file to file):      %s, %.0f MiB/s\n", Summary(unpackTimes).c_str(),
                mib / unpackMedian);
    std::printf("zlib inflate, new buffer:      %s\n", Summary(freshTimes).c_str());
    std::printf("ISA-L inflate, reused buffer:  %s\n", Summary(isalTimes).c_str());
    std::vector<double> ratios;
    for (size_t i = 0; i < zlibTimes.size(); ++i) ratios.push_back(zlibTimes[i] / unpackTimes[i]);
    // The ratio is taken within each run, whose two sides ran back to back on
    // the same machine, and the median of those is the result: the load of a
    // shared machine drifts more between runs than within one.
    const double ratio = Median(ratios);
    std::printf("ratio (zlib / UnpackKit): median of the runs' ratios %.3f (%.3f-%.3f); ratio of the medians %.3f\n",
                ratio, *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                zlibMedian / unpackMedian);

    std::vector<uint8_t>().swap(reused);
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
    std::printf("target: unpack_vs_inflate >= 1.5, aim 1.8 (%s), rss_growth_kib <= 8192 (%s)\n",
                ratio >= 1.8 ? "aim met" : ratio >= 1.5 ? "met" : "missed",
                bigPeak - smallPeak <= 8192 ? "met" : "missed");
    std::printf("RESULT unpack_vs_inflate=%.3f\n", ratio);
    std::printf("RESULT rss_growth_kib=%ld\n", bigPeak - smallPeak);
    return 0;
}
