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

}  // namespace

int RunUtility(const std::vector<AString>& arguments, ErrorOutput errorOutput) {
    if (arguments.empty()) return kUtilityNotStarted;
    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) return kUtilityNotStarted;
    if (!PrepareActions(actions, errorOutput) || !PrepareAttributes(attributes)) return kUtilityNotStarted;

    // The vector points into `arguments`, which outlives the call.
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const AString& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

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
