#include "ui/description_opener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace {

// Owns posix_spawn_file_actions_t.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

bool OpenWithDesktop(const AString& path, const char* opener) {
    // The opener takes no "--"; a relative path that starts with "-" is made
    // to start with "./" so it cannot be read as an option.
    AString argument = path;
    if (!argument.empty() && argument[0] == '-') argument = AString("./") + argument;

    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), 2, "/dev/null", O_WRONLY, 0);
    char* const argv[] = {const_cast<char*>(opener), const_cast<char*>(argument.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, opener, actions.Get(), nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}
