#pragma once
// Child processes for end-to-end tests: started with an argument vector and
// an explicit environment, standard error (and optionally output) in files,
// waited for with a deadline and killed if they outlive the test.

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    // `stdoutPath`/`stderrPath`/`directory` empty: inherited.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& stdoutPath, const std::string& stderrPath, const std::string& directory = "");
    ~ChildProcess();  // kills and reaps a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Waits up to `seconds`; true with the exit status when it ended normally.
    bool Wait(int seconds, int& exitStatus);
    bool Running();

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Runs a program to its end (at most `seconds`) with the test's own
// environment; its standard output is returned in `output`. The exit status,
// or -1 when it did not end normally.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr, int seconds = 20);

// Polls `condition` every 50 ms until it holds or `seconds` pass.
template <typename Condition>
bool WaitFor(Condition condition, int seconds = 20);

#include <unistd.h>

#include <chrono>

template <typename Condition>
bool WaitFor(Condition condition, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        usleep(50 * 1000);
    }
    return true;
}
