#pragma once
// SIGINT, SIGTERM and SIGHUP turned into a request that the main loop sees.
//
// While an object lives, the three signals only raise a flag and wake the GLib
// main loop through a pipe; the controller decides when the run may end (not
// while the worker copies or rolls back). The previous dispositions come back
// when the object goes. One object at a time.

#include <glib.h>
#include <signal.h>

namespace vxk5 {

class TerminationSignals {
public:
    using Callback = void (*)(void* data);

    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // True once any of the signals has arrived.
    bool Pending() const;
    // Calls `callback(data)` from the default main context after a signal.
    void WatchFromMainLoop(Callback callback, void* data);

private:
    static gboolean OnReadable(gint fd, GIOCondition condition, gpointer self);

    int readFd_ = -1;
    int writeFd_ = -1;
    struct sigaction previous_[3];
    guint source_ = 0;
    Callback callback_ = nullptr;
    void* data_ = nullptr;
};

// Blocks the three signals in the calling thread while it lives. A thread
// created meanwhile inherits the block, and so do the processes it starts:
// a Ctrl-C in the terminal then reaches neither the worker nor the utilities
// it runs (a rollback's moves are never cut short).
class ScopedTerminationBlock {
public:
    ScopedTerminationBlock();
    ~ScopedTerminationBlock();
    ScopedTerminationBlock(const ScopedTerminationBlock&) = delete;
    ScopedTerminationBlock& operator=(const ScopedTerminationBlock&) = delete;

private:
    sigset_t previous_;
};

}  // namespace vxk5
