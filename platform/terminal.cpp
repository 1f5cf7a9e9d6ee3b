#include "platform/terminal.h"

#include <unistd.h>

namespace vxk5 {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

}  // namespace vxk5
