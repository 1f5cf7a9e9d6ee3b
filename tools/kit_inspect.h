#pragma once
// `vxk5-kit list` and `vxk5-kit verify`: both read the kit with the
// installer's own reader.

#include <ostream>
#include <string>

#include "platform/file_handle.h"

// "YYYY-MM-DDTHH:MM:SS.fffffffZ": the UTC time with its 100-nanosecond fraction.
std::string FormatFileTime(FileTime time);

// Prints the descriptions and the file table (name, time, size, offset).
// False with `error` set when the kit cannot be read.
[[nodiscard]] bool ListKit(const std::string& kitPath, std::ostream& out, std::string& error);

// Reads every record and checks that every entry's bytes lie inside the
// container, that names are usable relative paths and unique, and that the
// description documents are in the kit. Prints a summary; false with `error`
// describing every problem found.
[[nodiscard]] bool VerifyKit(const std::string& kitPath, std::ostream& out, std::string& error);
