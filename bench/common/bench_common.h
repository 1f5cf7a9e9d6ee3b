#pragma once
// Helpers shared by the benchmarks: text and path forms, whole files, programs
// run without a shell, scratch directories and the summary of repeated runs.

#include <chrono>
#include <string>
#include <vector>

#include "base/wstring.h"

namespace vxk5 {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration);
// CPU time (user + system) of this process so far.
double CpuSeconds();

// Says what failed, as "<program>: <what>", and ends the benchmark with 1.
[[noreturn]] void Fail(const char* program, const std::string& what);

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Runs a program found on PATH with an argument vector and waits; its exit
// status, or -1 when it could not run or did not exit.
int Run(const std::vector<std::string>& arguments);

// The temporary directory: TMPDIR, else /tmp.
std::string TemporaryDirectory();
// A new private directory "<parent>/<prefix>-XXXXXX" on /dev/shm when
// `preferShm` and it can be written (so that a disk's throttling does not
// decide the result), else in the temporary directory. Ends the benchmark when
// none can be made.
std::string MakeScratchDirectory(const char* prefix, bool preferShm);
bool IsOnShm(const std::string& path);

// The median of the values.
double Median(std::vector<double> values);
// "median 412.0 ms (405.0-431.0, spread 6 %)": the median, the fastest and the
// slowest run times `scale` in `unit` with `decimals` decimals, and the
// distance between them as a share of the median.
std::string Spread(const std::vector<double>& values, double scale, const char* unit, int decimals = 1);

}  // namespace vxk5
