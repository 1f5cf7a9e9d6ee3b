#pragma once
// SIGINT, SIGTERM and SIGHUP turned into a request that a main loop sees.
//
// While an object lives, the three signals only raise a flag and write a byte
// to a pipe whose read end the caller's main loop watches; the caller decides
// when the run may end. The previous dispositions come back when the object
// goes. One object at a time.

#include <memory>

#include "platform/owned_descriptor.h"

namespace vxk5 {

class TerminationRequests {
public:
    TerminationRequests();
    ~TerminationRequests();
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

    // True once any of the signals has arrived.
    bool Pending() const;
    // The descriptor that becomes readable after a signal; -1 when no pipe
    // could be made (Pending still tells).
    int WakeDescriptor() const { return read_.Get(); }
    // Reads what woke the loop, so that it waits again.
    void Drain();

private:
    struct Saved;
    OwnedDescriptor read_;
    OwnedDescriptor write_;
    std::unique_ptr<Saved> saved_;  // the dispositions to put back
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
    struct Saved;
    std::unique_ptr<Saved> saved_;  // the mask to put back
};

}  // namespace vxk5
