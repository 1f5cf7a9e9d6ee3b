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
//   - signs the large kit and times, alternately, reading it as the installer
//     does without a trust policy (ReadKit) and under one (ReadSignedKit: the
//     kit hashed while it is inflated, then the signature checked); the result
//     is the median signed time over the median plain time.
//   - times, alternately, UnpackKit of the large kit as written (its stream
//     hashed while it is inflated, then compared with the check after it) and
//     of the same kit without its check (the file less its trailer, as kits
//     were written before they carried one), unpacked as kits were before
//     they carried a check: nothing hashed (KitUnpacker::SkipCheck; the
//     unpacking hashes every stream, since only its end tells whether a check
//     follows). The result is the median of the runs' ratios, checked time
//     over unchecked time.
// The last lines are "RESULT unpack_vs_inflate=R", "RESULT rss_growth_kib=N",
// "RESULT unpack_vs_isal=R" (UnpackKit's time over ISA-L's inflate alone, the
// median of the runs' ratios), "RESULT signed_unpack_vs_unpack=S" and
// "RESULT checked_unpack_vs_unpack=C".
//
// Options: --size-mib N (size of the large kit, default 256), --reps N (default
// 9, at least 7), --keep (leave the kits in place for a closer look).

#include <spawn.h>
#include <sys/resource.h>
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

#include "../common/bench_common.h"
#include "../common/text_source.h"
#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_trailer.h"
#include "kit/kit_unpack.h"
#include "kit/kit_writer.h"
#include "kit/minisign.h"
#include "kit/signed_kit.h"
#include "platform/file_system.h"

extern char** environ;

namespace vxk5 {

namespace {

constexpr char kProgram[] = "bench-unpack";
constexpr uint32_t kFileSize = 1 << 20;  // each file of a kit holds 1 MiB
constexpr int kBenchLevel = 6;           // inflate speed hardly depends on the level; level 9 only takes longer to make

// Writes a kit of `files` files of kFileSize bytes; returns the container size.
uint64_t MakeKit(const std::string& path, uint32_t files) {
    std::vector<KitDescription> descriptions{{u"en", u"Benchmark templates", u"Bench", u"docs\\readme.txt"}};
    std::vector<KitFileEntry> entries;
    for (uint32_t i = 0; i < files; ++i) {
        KitFileEntry entry;
        entry.name = FromMultiByte("templates\\part" + std::to_string(i) + ".conf");
        entry.offset = i * kFileSize;
        entry.size = kFileSize;
        entries.push_back(entry);
    }
    const std::string head = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, descriptions, entries);
    KitFileWriter writer;
    if (writer.Open(FromMultiByte(path), kBenchLevel) != 0 || writer.Write(head.data(), head.size()) != 0) {
        Fail(kProgram, "cannot write " + path);
    }
    TextSource source;  // each file different text
    std::vector<uint8_t> block(kFileSize);
    for (uint32_t i = 0; i < files; ++i) {
        source.Fill(block.data(), block.size());
        if (writer.Write(block.data(), block.size()) != 0) Fail(kProgram, "cannot write " + path);
    }
    if (writer.Finish() != 0) Fail(kProgram, "cannot finish " + path);
    return head.size() + static_cast<uint64_t>(files) * kFileSize;
}

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

// Unpacks as the installer does: into an unnamed container in the temporary
// directory, which goes when it is closed. `check` false: as kits were
// unpacked before they carried a check.
double TimeUnpack(const std::string& kit, uint64_t expected, bool check = true) {
    OwnedDescriptor container;
    if (CreateKitContainer(container) != 0) Fail(kProgram, "cannot make a temporary file");
    const auto start = std::chrono::steady_clock::now();
    uint32_t code = 0;
    KitCheck found = KitCheck::Pending;
    {
        // UnpackKitInto's steps, the unpacker's end included.
        KitUnpacker unpacker;
        code = unpacker.Open(FromMultiByte(kit), nullptr);
        if (code == 0) {
            if (!check) unpacker.SkipCheck();
            unpacker.Start(container.Get());
            code = unpacker.Finish();
            found = unpacker.Check().state;
        }
    }
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    const int64_t size = SeekFileHandle(container.Get(), 0, FILE_FROM_END);
    if (code != 0 || size != static_cast<int64_t>(expected)) {
        Fail(kProgram, "UnpackKit failed (" + std::to_string(code) + ")");
    }
    // Only kits with their check are unpacked with it.
    if (check && found != KitCheck::Matched) Fail(kProgram, std::string("the kit's check: ") + KitCheckText(found));
    return seconds;
}

// Signs `kit` (KIT.minisig beside it) with a new key; the policy that trusts it.
TrustPolicy SignKit(const std::string& kit, const std::string& bytes) {
    TrustPolicy policy;
    policy.inForce = true;
    policy.keys.emplace_back();
    std::string secretText;
    std::string error;
    minisign::SecretKey key;
    if (!minisign::GenerateKeyPair(minisign::KeyProtection::Unencrypted, "", policy.keys.back(), secretText, error) ||
        !minisign::ParseSecretKey(secretText, "", key, error)) {
        Fail(kProgram, "cannot make a key: " + error);
    }
    minisign::Hasher hasher;
    hasher.Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const minisign::Signature signature = minisign::SignPrehashed(key, hasher.Final(), "bench-unpack");
    std::ofstream out(kit + ".minisig", std::ios::binary);
    out << minisign::FormatSignature(signature);
    if (!out.flush()) Fail(kProgram, "cannot write the signature");
    return policy;
}

// The process's processor time, all threads, user and system.
double ProcessorSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Reads the kit as the installer does, under `policy` when it is given; adds
// the processor time it took to `processor`.
double TimeRead(const std::string& kitPath, const TrustPolicy* policy, size_t expectedEntries,
                std::vector<double>& processor) {
    std::unique_ptr<DistributionKit> kit;
    SignatureCheck check;
    const double processorStart = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    const uint32_t code = policy != nullptr ? ReadSignedKit(kit, FromMultiByte(kitPath), *policy, check)
                                            : ReadKit(kit, FromMultiByte(kitPath));
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    processor.push_back(ProcessorSeconds() - processorStart);
    if (code != 0 || kit->Entries().size() != expectedEntries ||
        (policy != nullptr && check.verdict != SignatureVerdict::Verified)) {
        Fail(kProgram, std::string(policy != nullptr ? "ReadSignedKit" : "ReadKit") + " failed (" +
                           std::to_string(code) + ", " + VerdictText(check.verdict) + ")");
    }
    return seconds;
}

// The cost of the signature check: alternating plain and signed reads of the
// large kit. Returns the median signed time over the median plain time.
double TimeSignedReads(const std::string& kitPath, const std::string& bytes, uint32_t files, int reps) {
    const TrustPolicy policy = SignKit(kitPath, bytes);
    std::vector<double> plain;
    std::vector<double> signedReads;
    std::vector<double> plainProcessor;
    std::vector<double> signedProcessor;
    for (int r = 0; r < reps; ++r) {
        if (r % 2 == 0) {
            plain.push_back(TimeRead(kitPath, nullptr, files, plainProcessor));
            signedReads.push_back(TimeRead(kitPath, &policy, files, signedProcessor));
        } else {
            signedReads.push_back(TimeRead(kitPath, &policy, files, signedProcessor));
            plain.push_back(TimeRead(kitPath, nullptr, files, plainProcessor));
        }
        std::printf("run %d: ReadKit %.3f s, ReadSignedKit %.3f s, ratio %.3f\n", r + 1, plain.back(),
                    signedReads.back(), signedReads.back() / plain.back());
        std::fflush(stdout);
    }
    std::vector<double> ratios;
    for (size_t i = 0; i < plain.size(); ++i) ratios.push_back(signedReads[i] / plain[i]);
    const double ratio = Median(signedReads) / Median(plain);
    std::printf("ReadKit (no trust policy):     %s\n", Spread(plain, 1, "s", 3).c_str());
    std::printf("ReadSignedKit (signature):     %s\n", Spread(signedReads, 1, "s", 3).c_str());
    // The hashing runs on a thread of its own: with a processor to spare it
    // costs processor time but little wall time. Both are shown.
    std::printf("processor time, all threads: ReadKit median %.3f s, ReadSignedKit median %.3f s (ratio %.3f)\n",
                Median(plainProcessor), Median(signedProcessor), Median(signedProcessor) / Median(plainProcessor));
    std::printf("ratio (signed / plain): ratio of the medians %.3f; median of the runs' ratios %.3f (%.3f-%.3f)\n",
                ratio, Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    return ratio;
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
        std::unique_ptr<DistributionKit> kit;
        if (ReadKit(kit, FromMultiByte(AString(kitPath))) != 0 || kit->Entries().empty()) return 1;
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

struct Options {
    uint32_t sizeMib = 256;
    int reps = 9;
    bool keep = false;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) options.keep = options.keep || std::strcmp(argv[i], "--keep") == 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--size-mib") == 0) options.sizeMib = static_cast<uint32_t>(std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--reps") == 0) options.reps = std::max(7, std::atoi(argv[i + 1]));
    }
    return options;
}

struct Kits {
    std::string big;
    std::string small;
    uint64_t bigSize = 0;   // the container's size, inflated
    std::string bigBytes;   // the large kit's file, in memory for the references
};

Kits MakeKits(const std::string& work, uint32_t sizeMib) {
    Kits kits;
    kits.big = work + "/big.efd";
    kits.small = work + "/small.efd";
    std::printf("bench-unpack: making kits in %s\n", work.c_str());
    std::fflush(stdout);
    kits.bigSize = MakeKit(kits.big, sizeMib);
    const uint64_t smallSize = MakeKit(kits.small, 1);
    kits.bigBytes = ReadWholeFile(kits.big);
    std::printf("large kit: %zu bytes, inflates to %llu bytes\n", kits.bigBytes.size(),
                static_cast<unsigned long long>(kits.bigSize));
    std::printf("small kit: inflates to %llu bytes\n", static_cast<unsigned long long>(smallSize));
    return kits;
}

struct Times {
    std::vector<double> zlib;    // the reference
    std::vector<double> unpack;
    std::vector<double> fresh;   // for comparison
    std::vector<double> isal;    // for comparison
};

Times TimeRuns(const Kits& kits, int reps) {
    std::vector<uint8_t> reused(kReuseBufferSize, 1);  // faulted in once, outside the timing
    Times times;
    for (int r = 0; r < reps; ++r) {
        // Alternate which side goes first, so neither always finds a warmer machine.
        if (r % 2 == 0) {
            times.zlib.push_back(TimeZlibReused(kits.bigBytes, reused.data(), kits.bigSize));
            times.unpack.push_back(TimeUnpack(kits.big, kits.bigSize));
        } else {
            times.unpack.push_back(TimeUnpack(kits.big, kits.bigSize));
            times.zlib.push_back(TimeZlibReused(kits.bigBytes, reused.data(), kits.bigSize));
        }
        times.fresh.push_back(TimeZlibFresh(kits.bigBytes, kits.bigSize));
        times.isal.push_back(TimeIsalReused(kits.bigBytes, reused.data(), kits.bigSize));
        std::printf("run %d: zlib inflate (reused 256 KiB buffer) %.3f s, UnpackKit %.3f s, ratio %.3f;"
                    " zlib into a new buffer %.3f s, ISA-L (reused buffer) %.3f s\n",
                    r + 1, times.zlib.back(), times.unpack.back(), times.zlib.back() / times.unpack.back(),
                    times.fresh.back(), times.isal.back());
        std::fflush(stdout);
    }
    return times;
}

// The cost of the kit's check: UnpackKit of the kit as written, with its
// check, and of a copy without the check, alternately. Returns the median of
// the runs' ratios, checked over unchecked.
double TimeCheckedUnpacks(const Kits& kits, const std::string& work, int reps) {
    const std::string unchecked = work + "/unchecked.efd";
    const std::string& bytes = kits.bigBytes;
    if (bytes.size() < kitformat::kTrailerSize ||
        !WriteWholeFile(unchecked, bytes.substr(0, bytes.size() - kitformat::kTrailerSize))) {
        Fail(kProgram, "cannot write " + unchecked);
    }
    std::vector<double> checked;
    std::vector<double> plain;
    std::vector<double> ratios;
    std::vector<double> processorRatios;  // the processor time of all threads, less disturbed by other load
    for (int r = 0; r < reps; ++r) {
        double processor[2] = {0, 0};
        for (int side = 0; side < 2; ++side) {
            // Alternate which side goes first, so neither always finds a warmer machine.
            const bool checkedSide = (side == 0) == (r % 2 == 1);
            const double start = ProcessorSeconds();
            (checkedSide ? checked : plain)
                .push_back(TimeUnpack(checkedSide ? kits.big : unchecked, kits.bigSize, checkedSide));
            processor[checkedSide ? 1 : 0] = ProcessorSeconds() - start;
        }
        ratios.push_back(checked.back() / plain.back());
        processorRatios.push_back(processor[1] / processor[0]);
        std::printf("run %d: UnpackKit without check %.3f s, with check %.3f s, ratio %.3f\n", r + 1, plain.back(),
                    checked.back(), ratios.back());
        std::fflush(stdout);
    }
    std::printf("UnpackKit, kit without check:  %s\n", Spread(plain, 1, "s", 3).c_str());
    std::printf("UnpackKit, kit with check:     %s\n", Spread(checked, 1, "s", 3).c_str());
    std::printf("ratio (checked / unchecked): median of the runs' ratios %.3f (%.3f-%.3f); ratio of the medians %.3f\n",
                Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), Median(checked) / Median(plain));
    std::printf("processor time, all threads (checked / unchecked): median of the runs' ratios %.3f\n",
                Median(processorRatios));
    return Median(ratios);
}

// Prints the summaries; the result: the median of the runs' ratios. The ratio
// is taken within each run, whose two sides ran back to back on the same
// machine: the load of a shared machine drifts more between runs than within one.
double ReportTimes(const Times& times, const std::string& work, uint64_t bigSize, double& unpackOverIsal) {
    const double mib = static_cast<double>(bigSize) / (1 << 20);
    const double zlibMedian = Median(times.zlib);
    const double unpackMedian = Median(times.unpack);
    std::printf("file system of the kits and containers: %s\n",
                IsOnShm(work) ? "tmpfs (/dev/shm)" : "the temporary directory's");
    std::printf("zlib inflate, reused buffer:   %s, %.0f MiB/s\n", Spread(times.zlib, 1, "s", 3).c_str(),
                mib / zlibMedian);
    std::printf("UnpackKit (file to file):      %s, %.0f MiB/s\n", Spread(times.unpack, 1, "s", 3).c_str(),
                mib / unpackMedian);
    std::printf("zlib inflate, new buffer:      %s\n", Spread(times.fresh, 1, "s", 3).c_str());
    std::printf("ISA-L inflate, reused buffer:  %s\n", Spread(times.isal, 1, "s", 3).c_str());
    std::vector<double> ratios;
    for (size_t i = 0; i < times.zlib.size(); ++i) ratios.push_back(times.zlib[i] / times.unpack[i]);
    const double ratio = Median(ratios);
    std::vector<double> overIsal;
    for (size_t i = 0; i < times.isal.size(); ++i) overIsal.push_back(times.unpack[i] / times.isal[i]);
    std::printf("UnpackKit / ISA-L inflate alone: median of the runs' ratios %.3f (%.3f-%.3f)\n", Median(overIsal),
                *std::min_element(overIsal.begin(), overIsal.end()), *std::max_element(overIsal.begin(), overIsal.end()));
    std::printf("ratio (zlib / UnpackKit): median of the runs' ratios %.3f (%.3f-%.3f); ratio of the medians %.3f\n",
                ratio, *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                zlibMedian / unpackMedian);
    unpackOverIsal = Median(overIsal);
    return ratio;
}

}  // namespace

}  // namespace vxk5

using namespace vxk5;

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--rss-child") == 0) return RssChild(argv[2]);
    const Options options = ParseOptions(argc, argv);
    InitProcessLocale();
    char selfPath[4096] = {};
    if (readlink("/proc/self/exe", selfPath, sizeof selfPath - 1) <= 0) return 1;

    const std::string work = MakeScratchDirectory(kProgram, true);
    setenv("TMPDIR", work.c_str(), 1);  // the unpacked containers go there as well
    Kits kits = MakeKits(work, options.sizeMib);
    double unpackOverIsal = 0;
    const double ratio = ReportTimes(TimeRuns(kits, options.reps), work, kits.bigSize, unpackOverIsal);
    const double signedRatio = TimeSignedReads(kits.big, kits.bigBytes, options.sizeMib, options.reps);
    const double checkedRatio = TimeCheckedUnpacks(kits, work, options.reps);
    std::string().swap(kits.bigBytes);

    const long smallPeak = MeasurePeakRss(selfPath, kits.small);
    const long bigPeak = MeasurePeakRss(selfPath, kits.big);
    if (options.keep) {
        std::printf("kits kept in %s\n", work.c_str());
    } else {
        (void)RemoveTree(FromMultiByte(work));  // a scratch directory: what stays is harmless
    }
    if (smallPeak < 0 || bigPeak < 0) Fail(kProgram, "the memory measurement failed");
    std::printf("peak RSS of unpacking and reading: 1 MiB kit %ld KiB, %u MiB kit %ld KiB\n", smallPeak,
                options.sizeMib, bigPeak);
    std::printf("target: unpack_vs_inflate >= 1.5, aim 1.8 (%s), rss_growth_kib <= 8192 (%s), unpack_vs_isal <= 1.15 (%s)\n",
                ratio >= 1.8 ? "aim met" : ratio >= 1.5 ? "met" : "missed",
                bigPeak - smallPeak <= 8192 ? "met" : "missed", unpackOverIsal <= 1.15 ? "met" : "missed");
    std::printf("RESULT unpack_vs_inflate=%.3f\n", ratio);
    std::printf("RESULT rss_growth_kib=%ld\n", bigPeak - smallPeak);
    std::printf("RESULT unpack_vs_isal=%.3f\n", unpackOverIsal);
    std::printf("target: signed_unpack_vs_unpack <= 1.05 (%s)\n", signedRatio <= 1.05 ? "met" : "missed");
    std::printf("RESULT signed_unpack_vs_unpack=%.3f\n", signedRatio);
    std::printf("target: checked_unpack_vs_unpack <= 1.03 (%s)\n", checkedRatio <= 1.03 ? "met" : "missed");
    std::printf("RESULT checked_unpack_vs_unpack=%.3f\n", checkedRatio);
    return 0;
}
