#pragma once
// The terminal the program and its tools talk to: whether a stream is shown
// on one (where a line can be rewritten in place; progress lines are drawn
// only there), and questions asked on the process's controlling terminal
// without echoing the answer.

#include <cstdio>
#include <string>

#include "platform/owned_descriptor.h"

namespace vxk5 {

bool IsTerminal(std::FILE* stream);

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
