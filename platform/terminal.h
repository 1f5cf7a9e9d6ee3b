#pragma once
// The terminal a command-line tool talks to: whether its error output is one
// (progress lines are drawn only there), and questions asked on the process's
// controlling terminal without echoing the answer.

#include <string>

#include "platform/owned_descriptor.h"

namespace vxk5 {

// Whether the standard error output is a terminal.
bool ErrorOutputIsTerminal();

// The controlling terminal (/dev/tty) open for reading and writing; not open
// when the process has none.
OwnedDescriptor OpenControllingTerminal();

// Writes `prompt` to `terminal` and reads one line with echo off (where the
// terminal lets it be turned off; it is turned back on after). A carriage
// return before the line's end is dropped. False when the line could not be
// read to its end or the terminal could not be written.
bool AskWithoutEcho(int terminal, const char* prompt, std::string& answer);

}  // namespace vxk5
