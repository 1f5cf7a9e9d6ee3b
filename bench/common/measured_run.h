#pragma once
// A program run as a process of its own and measured as a user waits for
// it: from its spawn to its exit, with the processor time it spent.

#include <string>
#include <vector>

namespace vxk5 {

struct Measured {
    double seconds = -1;        // wall time from spawn to exit; -1 when it failed
    double userSeconds = 0;     // processor time in the program, every thread
    double systemSeconds = 0;   // processor time in the kernel for it
    long peakKib = -1;          // peak resident memory
};

// Runs a program found on PATH (argument vector, no shell) with `environment`
// added to this one's (replacing a variable of the same name) and standard
// output to `out`; waits for it.
Measured RunMeasured(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                     const std::string& out = "/dev/null");

// "1.234 s (user 0.456, sys 0.789)".
std::string DescribeRun(const Measured& run);

}  // namespace vxk5
