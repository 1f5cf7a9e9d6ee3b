#pragma once
// SIGINT, SIGTERM and SIGHUP turned into a request that the GLib main loop
// sees: the platform's termination requests, their wake descriptor watched
// from the default main context. The controller decides when the run may end
// (not while the worker copies or rolls back). One object at a time.

#include <glib.h>

#include "platform/termination_requests.h"

namespace vxk5 {

class TerminationSignals {
public:
    using Callback = void (*)(void* data);

    TerminationSignals() = default;
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // True once any of the signals has arrived.
    bool Pending() const { return requests_.Pending(); }
    // Calls `callback(data)` from the default main context after a signal.
    void WatchFromMainLoop(Callback callback, void* data);

private:
    static gboolean OnReadable(gint fd, GIOCondition condition, gpointer self);

    TerminationRequests requests_;
    guint source_ = 0;
    Callback callback_ = nullptr;
    void* data_ = nullptr;
};

}  // namespace vxk5
