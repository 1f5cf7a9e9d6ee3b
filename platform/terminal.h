#pragma once
// Whether a stream is shown on a terminal, where a line can be rewritten in place.

#include <cstdio>

namespace vxk5 {

bool IsTerminal(std::FILE* stream);

}  // namespace vxk5
