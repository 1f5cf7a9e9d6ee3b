#pragma once
// Opens a document with the desktop's default opener.

#include "base/wstring.h"

namespace vxk5 {

// Runs `xdg-open PATH` with PATH as one literal argument (no shell), its
// standard and error output to /dev/null, and waits for it. What the opener does or
// returns is the desktop's business; false only when it could not be started.
bool OpenWithDesktop(const AString& path, const char* opener = "xdg-open");

}  // namespace vxk5
