#pragma once
// The passphrase of an encrypted secret key: the first line of the file named
// by VXK5_PASSPHRASE_FILE when that is set (for scripts), else asked on the
// terminal without echo.

#include <string>

namespace vxk5 {

// Confirmed asks a second time on the terminal and requires both to agree (a
// new key). False with `error` set when there is neither a file nor a terminal,
// the file cannot be read, or the answers differ.
enum class PassphraseEntry { Once, Confirmed };
[[nodiscard]] bool ObtainPassphrase(const char* prompt, PassphraseEntry entry, std::string& passphrase,
                                    std::string& error);

}  // namespace vxk5
