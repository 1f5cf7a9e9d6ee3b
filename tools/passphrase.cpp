#include "tools/passphrase.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/owned_descriptor.h"

namespace vxk5 {

namespace {

constexpr char kPassphraseFileVariable[] = "VXK5_PASSPHRASE_FILE";

// One line from the terminal with echo off; false when it cannot be read.
bool AskOnTerminal(int tty, const char* prompt, std::string& answer) {
    answer.clear();
    if (::write(tty, prompt, std::char_traits<char>::length(prompt)) < 0) return false;
    struct termios saved;
    const bool echoOff = ::tcgetattr(tty, &saved) == 0;
    if (echoOff) {
        struct termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    char c = 0;
    bool ended = false;
    for (;;) {
        const ssize_t got = ::read(tty, &c, 1);
        if (got <= 0) break;
        if (c == '\n') {
            ended = true;
            break;
        }
        answer += c;
    }
    if (echoOff) ::tcsetattr(tty, TCSAFLUSH, &saved);
    if (::write(tty, "\n", 1) < 0) return false;
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return ended;
}

}  // namespace

bool ObtainPassphrase(const char* prompt, bool twice, std::string& passphrase, std::string& error) {
    passphrase.clear();
    if (const char* file = std::getenv(kPassphraseFileVariable); file != nullptr && *file != '\0') {
        std::ifstream in(file, std::ios::binary);
        if (!in || !std::getline(in, passphrase)) {
            error = std::string("cannot read the passphrase from ") + file + " (" + kPassphraseFileVariable + ")";
            return false;
        }
        if (!passphrase.empty() && passphrase.back() == '\r') passphrase.pop_back();
        return true;
    }
    OwnedDescriptor tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!tty.IsOpen()) {
        error = std::string("no terminal to ask for the passphrase; name a file holding it in ") +
                kPassphraseFileVariable;
        return false;
    }
    if (!AskOnTerminal(tty.Get(), prompt, passphrase)) {
        error = "the passphrase could not be read from the terminal";
        return false;
    }
    if (twice) {
        std::string again;
        if (!AskOnTerminal(tty.Get(), "Passphrase (again): ", again) || again != passphrase) {
            error = "the two passphrases differ";
            return false;
        }
    }
    return true;
}

}  // namespace vxk5
