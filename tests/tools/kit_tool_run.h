#pragma once
// Runs vxk5-kit as a program for the tool's tests.

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"


struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool with an argument vector; its output goes to files in `dir`.
RunResult RunTool(const TempDir& dir, std::vector<std::string> arguments);
// Runs any program (looked up on PATH) the same way, with `input` on its
// standard input, in a session of its own (no controlling terminal).
RunResult RunCommand(const TempDir& dir, std::vector<std::string> arguments, const std::string& input = "");

// Sets a file's (or, with `follow` false, a link's) access and modification time.
void SetModified(const std::string& path, long long seconds, long nanoseconds, bool follow = true);
