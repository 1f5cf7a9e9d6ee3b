#include "ui/termination_signals.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <pthread.h>
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

TerminationSignals::TerminationSignals() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        readFd_ = fds[0];
        writeFd_ = fds[1];
    }
    g_pending = 0;
    g_wakeFd = writeFd_;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    g_wakeFd = -1;
    if (source_ != 0) g_source_remove(source_);
    if (readFd_ >= 0) close(readFd_);
    if (writeFd_ >= 0) close(writeFd_);
}

bool TerminationSignals::Pending() const {
    return g_pending != 0;
}

void TerminationSignals::WatchFromMainLoop(Callback callback, void* data) {
    callback_ = callback;
    data_ = data;
    if (source_ == 0 && readFd_ >= 0) source_ = g_unix_fd_add(readFd_, G_IO_IN, OnReadable, this);
}

gboolean TerminationSignals::OnReadable(gint fd, GIOCondition, gpointer self) {
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    auto* signals = static_cast<TerminationSignals*>(self);
    if (signals->callback_ != nullptr) signals->callback_(signals->data_);
    return G_SOURCE_CONTINUE;
}

ScopedTerminationBlock::ScopedTerminationBlock() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

ScopedTerminationBlock::~ScopedTerminationBlock() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace vxk5
