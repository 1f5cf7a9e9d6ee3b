#include "ui/termination_signals.h"

#include <glib-unix.h>

namespace vxk5 {

TerminationSignals::~TerminationSignals() {
    // The watch goes before the descriptor it watches.
    if (source_ != 0) g_source_remove(source_);
}

void TerminationSignals::WatchFromMainLoop(Callback callback, void* data) {
    callback_ = callback;
    data_ = data;
    const int fd = requests_.WakeDescriptor();
    if (source_ == 0 && fd >= 0) source_ = g_unix_fd_add(fd, G_IO_IN, OnReadable, this);
}

gboolean TerminationSignals::OnReadable(gint, GIOCondition, gpointer self) {
    auto* signals = static_cast<TerminationSignals*>(self);
    signals->requests_.Drain();
    if (signals->callback_ != nullptr) signals->callback_(signals->data_);
    return G_SOURCE_CONTINUE;
}

}  // namespace vxk5
