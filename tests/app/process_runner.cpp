#include "process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

pid_t Spawn(std::vector<std::string> argv, char** env, const std::string& out, const std::string& err,
            const std::string& directory) {
    FileActions actions;
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(actions.Get(), directory.c_str());
    if (!out.empty()) posix_spawn_file_actions_addopen(actions.Get(), 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!err.empty()) posix_spawn_file_actions_addopen(actions.Get(), 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args = Pointers(argv);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), env) != 0) return -1;
    return pid;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                           const std::string& stdoutPath, const std::string& stderrPath,
                           const std::string& directory) {
    std::vector<std::string> environment = env;
    std::vector<char*> envp = Pointers(environment);
    pid_ = Spawn(argv, envp.data(), stdoutPath, stderrPath, directory);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || reaped_) return false;
    const pid_t r = waitpid(pid_, &status_, WNOHANG);
    if (r == pid_) reaped_ = true;
    return !reaped_;
}

bool ChildProcess::Wait(int seconds, int& exitStatus) {
    if (pid_ <= 0) return false;
    // Polled often at first (most children here end within milliseconds,
    // and the power-cut tests start thousands), then every 50 ms.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    useconds_t pause = 500;
    while (Running()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        usleep(pause);
        pause = std::min<useconds_t>(pause * 2, 50 * 1000);
    }
    if (!WIFEXITED(status_)) return false;
    exitStatus = WEXITSTATUS(status_);
    return true;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output, int seconds) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/vxk5-run-XXXXXX";
    char* outName = pattern.data();
    const int fd = mkstemp(outName);
    if (fd < 0) return -1;
    close(fd);
    int status = -1;
    {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        ChildProcess child(argv, env, outName, "");
        if (!child.Wait(seconds, status)) status = -1;
    }
    if (output != nullptr) {
        std::ifstream in(outName);
        std::stringstream text;
        text << in.rdbuf();
        *output = text.str();
    }
    std::remove(outName);
    return status;
}
