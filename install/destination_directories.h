#pragma once
// The directories a job writes into, each opened once: the template directory
// itself (a link to a directory is followed there, it is the user's choice)
// and below it every directory reached from its parent's descriptor without
// following a link. Files are then made and moved by name inside these
// descriptors, so no link below the template directory, planted before or
// during the job, is ever written through.

#include <string>
#include <unordered_map>

#include "platform/owned_descriptor.h"

namespace vxk5 {

struct DestinationDirectories {
    OwnedDescriptor root;
    // Relative path below the template directory ("a/b", no final "/").
    std::unordered_map<std::string, OwnedDescriptor> below;

    void Clear() {
        below.clear();
        root.Reset();
    }
};

}  // namespace vxk5
