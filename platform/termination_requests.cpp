#include "platform/termination_requests.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace vxk5 {

namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_pending = 0;
volatile sig_atomic_t g_wakeFd = -1;

void OnSignal(int) {
    const int saved = errno;
    g_pending = 1;
    if (g_wakeFd >= 0) {
        const char byte = 1;
        (void)!write(g_wakeFd, &byte, 1);  // a full pipe already wakes the loop
    }
    errno = saved;
}

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) sigaddset(&set, signal);
    return set;
}

}  // namespace

struct TerminationRequests::Saved {
    struct sigaction previous[3];
};

struct ScopedTerminationBlock::Saved {
    sigset_t previous;
};

TerminationRequests::TerminationRequests() : saved_(std::make_unique<Saved>()) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        read_.Reset(fds[0]);
        write_.Reset(fds[1]);
    }
    g_pending = 0;
    g_wakeFd = write_.Get();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved_->previous[i]);
}

TerminationRequests::~TerminationRequests() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_->previous[i], nullptr);
    g_wakeFd = -1;
}

bool TerminationRequests::Pending() const {
    return g_pending != 0;
}

void TerminationRequests::Drain() {
    char buffer[64];
    while (read_.IsOpen() && read(read_.Get(), buffer, sizeof buffer) > 0) {
    }
}

ScopedTerminationBlock::ScopedTerminationBlock() : saved_(std::make_unique<Saved>()) {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_BLOCK, &set, &saved_->previous);
}

ScopedTerminationBlock::~ScopedTerminationBlock() {
    pthread_sigmask(SIG_SETMASK, &saved_->previous, nullptr);
}

}  // namespace vxk5
