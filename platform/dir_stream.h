#pragma once
// An open directory stream (from opendir or fdopendir) owned by one object and
// closed with it. Held as void*, so that a header that keeps one need not
// include the system's directory header.

#include <memory>

namespace vxk5 {

struct DirStreamCloser {
    void operator()(void* stream) const;  // closedir
};

using DirStream = std::unique_ptr<void, DirStreamCloser>;

}  // namespace vxk5
