// Large launcher configurations: reading, changing and writing them must grow
// linearly with their size.
//
//   keys       40,000 distinct keys and 2,000 recorded locations: collected,
//              the installed directory recorded in front, written back.
//   locations  20,000 recorded locations, recorded again.
//   big        about 100 MB of short lines (distinct keys "Key0001234=/v/..."),
//              and 100 MB of values of one key, each read and written back in
//              a child process whose peak memory is measured.
//
// Each case is timed against a reference measured in the same run: reading the
// same file with fread and counting its lines. The ratio (case / reference)
// shows how far the configuration handling is from plain I/O. The big cases
// also give their CPU time: writing ends with the file flushed to the disk,
// whose speed is the disk's.
// The last lines are "RESULT name=value".

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../common/bench_common.h"
#include "base/conversion.h"
#include "config/config_file.h"
#include "config/config_keys.h"
#include "config/config_paths.h"
#include "config/template_locations.h"

namespace vxk5 {

namespace {

void WriteText(const std::string& path, const std::string& text) {
    if (!WriteWholeFile(path, text)) Fail("bench-config", "cannot write " + path);
}

// The reference: the file's bytes read and its lines counted.
double ReferenceSeconds(const std::string& path) {
    const Clock::time_point start = Clock::now();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::exit(1);
    std::vector<char> buffer(1 << 16);
    size_t lines = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file)) != 0;) {
        for (size_t i = 0; i < got; ++i) lines += buffer[i] == '\n';
    }
    std::fclose(file);
    const double seconds = Seconds(Clock::now() - start);
    return lines != 0 ? seconds : seconds;
}

long PeakKib() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string Location(size_t i) { return "/srv/templates/set" + std::to_string(i); }

// Collects the main set's locations and records `installed` in front, as the
// installer does after a successful installation.
double CollectAndRecord(const std::string& installed, size_t& collected) {
    const Clock::time_point start = Clock::now();
    std::vector<WString> list;
    CollectTemplateLocations(list, ConfigurationSet::Main);
    collected = list.size();
    list.insert(list.begin(), FromMultiByte(installed));
    RecordTemplateLocations(list, ConfigurationSet::Main);
    return Seconds(Clock::now() - start);
}

struct BigResult {
    double seconds = 0;
    double readSeconds = 0;
    double cpuSeconds = 0;
    double peakKib = 0;
    size_t entries = 0;
};

// Reads `path` and writes it back to `path` + ".out" in a child, so that the
// peak memory is this case's alone.
BigResult ReadAndWriteInChild(const std::string& path) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) std::exit(1);
    const pid_t child = fork();
    if (child < 0) std::exit(1);
    if (child == 0) {
        close(pipeEnds[0]);
        const long before = PeakKib();
        const Clock::time_point start = Clock::now();
        const double cpuStart = CpuSeconds();
        MultiValueMap config;
        if (ReadLauncherConfig(FromMultiByte(path), config) != ConfigRead::Whole) _exit(2);
        BigResult result;
        result.readSeconds = Seconds(Clock::now() - start);
        WriteLauncherConfig(FromMultiByte(path + ".out"), config);  // flushed to the disk before the rename
        result.seconds = Seconds(Clock::now() - start);
        result.cpuSeconds = CpuSeconds() - cpuStart;
        result.peakKib = static_cast<double>(PeakKib() - before);
        result.entries = config.entries.size();
        if (write(pipeEnds[1], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) _exit(3);
        _exit(0);
    }
    close(pipeEnds[1]);
    BigResult result;
    if (read(pipeEnds[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) {
        std::fprintf(stderr, "the child measuring %s failed\n", path.c_str());
        std::exit(1);
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return result;
}

// 40,000 keys and 2,000 locations: collected and recorded; seconds.
double BenchKeys(const std::string& mainFile) {
    std::string text;
    for (size_t i = 0; i < 40000; ++i) text += "Key" + std::to_string(i) + "=value " + std::to_string(i) + "\n";
    for (size_t i = 0; i < 2000; ++i) text += "ConfigurationTemplatesLocation=" + Location(i) + "\n";
    WriteText(mainFile, text);
    const double reference = ReferenceSeconds(mainFile);
    size_t collected = 0;
    const double seconds = CollectAndRecord(Location(1000), collected);
    std::printf("keys: 40000 keys + %zu locations (%zu bytes) collected and recorded in %.3f s; "
                "plain read %.4f s, ratio %.1f\n",
                collected, text.size(), seconds, reference, seconds / reference);
    return seconds;
}

// 20,000 locations, recorded again; seconds.
double BenchLocations(const std::string& mainFile) {
    std::string text;
    for (size_t i = 0; i < 20000; ++i) text += "ConfigurationTemplatesLocation=" + Location(i) + "\n";
    WriteText(mainFile, text);
    const double reference = ReferenceSeconds(mainFile);
    size_t collected = 0;
    const double seconds = CollectAndRecord(Location(19999) + "/", collected);
    std::printf("locations: %zu locations (%zu bytes) collected and recorded in %.3f s; plain read %.4f s, "
                "ratio %.1f\n",
                collected, text.size(), seconds, reference, seconds / reference);
    return seconds;
}

// About 100 MB of lines made by `line(i)`, read and written back in a child.
BigResult BenchBig(const char* what, const std::string& path, std::string (*line)(size_t), double& memoryRatio) {
    const size_t target = 100u << 20;
    std::string text;
    text.reserve(target + 64);
    for (size_t i = 0; text.size() < target; ++i) text += line(i);
    WriteText(path, text);
    const size_t bytes = text.size();
    text = std::string();
    const double reference = ReferenceSeconds(path);
    const BigResult result = ReadAndWriteInChild(path);
    memoryRatio = result.peakKib * 1024.0 / static_cast<double>(bytes);
    std::printf("%s: %zu bytes, %zu entries read in %.2f s and written in %.2f s, %.2f s of CPU "
                "(plain read %.3f s, ratio %.1f), peak memory %.1f MiB = %.2f x the file\n",
                what, bytes, result.entries, result.readSeconds, result.seconds - result.readSeconds,
                result.cpuSeconds, reference, result.readSeconds / reference, result.peakKib / 1024.0, memoryRatio);
    return result;
}

std::string DistinctKeyLine(size_t i) { return "Key" + std::to_string(i) + "=/v/" + std::to_string(i % 97) + "\n"; }
std::string LocationLine(size_t i) { return "ConfigurationTemplatesLocation=/t/" + std::to_string(i) + "\n"; }

void PrintBig(const char* name, const BigResult& result, double memoryRatio) {
    std::printf("RESULT %s_read_seconds=%.2f\n", name, result.readSeconds);
    std::printf("RESULT %s_seconds=%.2f\n", name, result.seconds);
    std::printf("RESULT %s_cpu_seconds=%.2f\n", name, result.cpuSeconds);
    std::printf("RESULT %s_memory_ratio=%.2f\n", name, memoryRatio);
}

}  // namespace

}  // namespace vxk5

using namespace vxk5;

int main() {
    InitProcessLocale();
    const std::string home = MakeScratchDirectory("bench-config", false);
    setenv("HOME", home.c_str(), 1);
    const std::string mainFile = ToMultiByteString(GetMainConfigPath());
    std::error_code made;
    std::filesystem::create_directories(home + "/.Vx/vxlstart", made);
    if (made) return 1;

    const double keysSeconds = BenchKeys(mainFile);
    const double locationsSeconds = BenchLocations(mainFile);
    double keysMemory = 0;
    double valuesMemory = 0;
    const BigResult keys = BenchBig("big keys", home + "/big-keys.cfg", DistinctKeyLine, keysMemory);
    const BigResult values = BenchBig("big values (one key)", home + "/big-values.cfg", LocationLine, valuesMemory);

    std::error_code removed;  // a scratch directory left behind costs nothing but space
    std::filesystem::remove_all(home, removed);
    std::printf("RESULT keys_40000_seconds=%.3f\n", keysSeconds);
    std::printf("RESULT locations_20000_seconds=%.3f\n", locationsSeconds);
    PrintBig("big_keys", keys, keysMemory);
    PrintBig("big_values", values, valuesMemory);
    return 0;
}
