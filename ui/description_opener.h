#pragma once
// Opens a document with the desktop's default opener.

#include "base/wstring.h"

namespace vxk5 {

// Starts `xdg-open PATH` with PATH as one literal argument (no shell),
// detached, its input and output on /dev/null, and returns at once: an opener
// that runs the viewer in the foreground must not hold the wizard. Its exit is
// reaped by the main loop while there is one (and by init after the installer
// has ended). What the opener does or returns is the desktop's business; false
// only when it could not be started.
bool OpenWithDesktop(const AString& path, const char* opener = "xdg-open");

}  // namespace vxk5
