#include "installer_child.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include <sys/stat.h>

#include "bench_common.h"
#include "base/conversion.h"
#include "install/install_job.h"
#include "kit/kit_reader.h"
#include "lang/messages.h"
#include "platform/file_entries.h"
#include "platform/job_state.h"

namespace vxk5 {

int InstallChild(const char* kitPath, const char* target, bool oneThread) {
    InitProcessLocale();
    // The installation's records go to a home of the benchmark's own, in its
    // scratch directory, not into the user's.
    const std::string home = TemporaryDirectory() + "/bench-home";
    (void)MakeDirectory(home, 0700);  // there already from an earlier run: as good
    ::setenv("HOME", home.c_str(), 1);
    const Clock::time_point start = Clock::now();
    Clock::time_point finalPost = start;
    long long containerBytes = -1;  // what the temporary directory held of the kit, at most
    {
        std::unique_ptr<DistributionKit> kit;
        if (const uint32_t code = ReadKit(kit, FromMultiByte(AString(kitPath)), nullptr, KitReading::FileTableFirst);
            code != 0) {
            std::fprintf(stderr, "installer child: cannot read %s: code %u\n", kitPath, code);
            return 1;
        }
        InstallJobState state;
        SetupJob(state, FromMultiByte(AString(target)));
        InstallJob job;
        job.finalPauseMilliseconds = 0;
        job.releaseCopiedBytes = true;  // as the installer's worker does
        job.inflateIntoFiles = true;    // likewise
        job.keepRecord = true;          // the record of the installation, too
        if (oneThread) job.parallelFrom = SIZE_MAX;
        job.postObserver = [&finalPost](uint32_t code, const WString&, uint32_t percent) {
            if (code != 0 || percent >= 100) finalPost = Clock::now();
        };
        if (const Failure failed = RunInstallJob(job, state, kit.get()); failed.Failed()) {
            std::fprintf(stderr, "installer child: the installation failed: code %u, %s, %s\n", failed.code,
                         failed.error != 0 ? std::strerror(failed.error) : "no system error", failed.path.c_str());
            return 1;
        }
        // The container only grows (bytes given back leave holes): its size is
        // the most it held.
        struct stat status {};
        if (::fstat(DescriptorOf(kit->Container()), &status) == 0) containerBytes = status.st_size;
    }
    long peak = -1;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) peak = std::atol(line.c_str() + 6);
    }
    std::printf("%.6f %ld %lld\n", Seconds(finalPost - start), peak, containerBytes);
    return 0;
}

bool RunInstallChildIfAsked(int argc, char** argv, int& status) {
    const bool oneThread = argc == 5 && std::strcmp(argv[4], "--one-thread") == 0;
    if ((argc != 4 && !oneThread) || std::strcmp(argv[1], "--install") != 0) return false;
    status = InstallChild(argv[2], argv[3], oneThread);
    return true;
}

}  // namespace vxk5
