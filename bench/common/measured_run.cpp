#include "measured_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

extern char** environ;

namespace vxk5 {

namespace {

double SecondsOf(const struct timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

Measured RunMeasured(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                     const std::string& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // A variable given replaces this process's own of the same name: the
    // C library takes the first of two, and a TMPDIR or HOME left in front
    // would send the child's files elsewhere unnoticed.
    const auto given = [&environment](const std::string& e) {
        const std::string name = e.substr(0, e.find('=') + 1);
        for (const std::string& g : environment) {
            if (g.compare(0, name.size(), name) == 0) return true;
        }
        return false;
    };
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!given(*e)) envStrings.emplace_back(*e);
    }
    for (const std::string& e : environment) envStrings.push_back(e);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Measured result;
    if (spawned != 0) return result;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return result;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return result;
    result.seconds = seconds;
    result.userSeconds = SecondsOf(usage.ru_utime);
    result.systemSeconds = SecondsOf(usage.ru_stime);
    result.peakKib = usage.ru_maxrss;
    return result;
}

std::string DescribeRun(const Measured& run) {
    char text[96];
    std::snprintf(text, sizeof text, "%.3f s (user %.3f, sys %.3f)", run.seconds, run.userSeconds,
                  run.systemSeconds);
    return text;
}

}  // namespace vxk5
