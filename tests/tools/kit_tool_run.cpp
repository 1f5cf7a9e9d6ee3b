#include "tests/tools/kit_tool_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>


extern char** environ;

RunResult RunTool(const TempDir& dir, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), VXK5_KIT_TOOL);
    return RunCommand(dir, std::move(arguments));
}

RunResult RunCommand(const TempDir& dir, std::vector<std::string> arguments, const std::string& input) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string outPath = dir.path("tool.out");
    const std::string errPath = dir.path("tool.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string inPath = dir.path("tool.in");
    WriteFile(inPath, input);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
    // A session of its own: no terminal to ask a passphrase on, whoever runs the tests.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    RunResult result;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

void SetModified(const std::string& path, long long seconds, long nanoseconds, bool follow) {
    const timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds}, {static_cast<time_t>(seconds), nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, follow ? 0 : AT_SYMLINK_NOFOLLOW), 0) << path;
}
