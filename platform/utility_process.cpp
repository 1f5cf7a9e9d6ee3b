#include "platform/utility_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_objects.h"
#include "platform/process_environment.h"

namespace vxk5 {

namespace {

// The child starts with no blocked signals and default dispositions for the
// signals a GUI process or a test harness may have changed.
bool PrepareAttributes(SpawnAttributes& attributes) {
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    return posix_spawnattr_setsigmask(attributes.get(), &none) == 0 &&
           posix_spawnattr_setsigdefault(attributes.get(), &defaults) == 0 &&
           posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

bool PrepareActions(SpawnActions& actions, ErrorOutput errorOutput) {
    if (posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0) != 0) return false;
    if (errorOutput == ErrorOutput::Discard &&
        posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0) != 0) {
        return false;
    }
    return true;
}

// The vector points into `arguments`, which must outlive its use.
std::vector<char*> ArgumentVector(const std::vector<AString>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const AString& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

int StartDetachedUtility(const std::vector<AString>& arguments) {
    if (arguments.empty()) return -1;
    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) return -1;
    if (posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0 ||
        !PrepareActions(actions, ErrorOutput::Discard) || !PrepareAttributes(attributes)) {
        return -1;
    }
    // Its own session: a Ctrl-C meant for the installer's terminal leaves the
    // viewer the user is reading alone.
    short flags = 0;
    if (posix_spawnattr_getflags(attributes.get(), &flags) != 0 ||
        posix_spawnattr_setflags(attributes.get(), static_cast<short>(flags | POSIX_SPAWN_SETSID)) != 0) {
        return -1;
    }
    std::vector<char*> argv = ArgumentVector(arguments);
    const ChildEnvironment environment;
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], actions.get(), attributes.get(), argv.data(), environment.get()) != 0) {
        return -1;
    }
    return child;
}

int RunUtility(const std::vector<AString>& arguments, ErrorOutput errorOutput) {
    if (arguments.empty()) return kUtilityNotStarted;
    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) return kUtilityNotStarted;
    if (!PrepareActions(actions, errorOutput) || !PrepareAttributes(attributes)) return kUtilityNotStarted;

    std::vector<char*> argv = ArgumentVector(arguments);
    const ChildEnvironment environment;  // without the settings made for GTK alone
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], actions.get(), attributes.get(), argv.data(), environment.get()) != 0) {
        return kUtilityNotStarted;
    }
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0) return kUtilityNotStarted;  // reaped elsewhere (SIGCHLD ignored): outcome unknown
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kUtilityNotStarted;
}

}  // namespace vxk5
