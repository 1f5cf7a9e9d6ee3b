#include "bench_common.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "base/conversion.h"

extern char** environ;

namespace vxk5 {

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double CpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Fail(const char* program, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program, what.c_str());
    std::exit(1);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

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

std::string TemporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

std::string MakeScratchDirectory(const char* prefix, bool preferShm) {
    const std::string parent = preferShm && access("/dev/shm", W_OK) == 0 ? "/dev/shm" : TemporaryDirectory();
    std::string pattern = parent + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Fail(prefix, "cannot make a directory in " + parent);
    return pattern;
}

bool IsOnShm(const std::string& path) { return path.rfind("/dev/shm/", 0) == 0; }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n == 0) return 0;
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Spread(const std::vector<double>& values, double scale, const char* unit, int decimals) {
    if (values.empty()) return "no runs";
    const double low = *std::min_element(values.begin(), values.end());
    const double high = *std::max_element(values.begin(), values.end());
    const double median = Median(values);
    char text[160];
    std::snprintf(text, sizeof text, "median %.*f %s (%.*f-%.*f, spread %.1f %%)", decimals, median * scale, unit,
                  decimals, low * scale, decimals, high * scale, median > 0 ? 100 * (high - low) / median : 0.0);
    return text;
}

}  // namespace vxk5
