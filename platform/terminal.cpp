#include "platform/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vxk5 {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

bool ErrorOutputIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

OwnedDescriptor OpenControllingTerminal() {
    return OwnedDescriptor(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
}

bool AskWithoutEcho(int terminal, const char* prompt, std::string& answer) {
    answer.clear();
    if (::write(terminal, prompt, std::char_traits<char>::length(prompt)) < 0) return false;
    struct termios saved;
    const bool echoOff = ::tcgetattr(terminal, &saved) == 0;
    if (echoOff) {
        struct termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(terminal, TCSAFLUSH, &quiet);
    }
    char c = 0;
    bool ended = false;
    for (;;) {
        const ssize_t got = ::read(terminal, &c, 1);
        if (got <= 0) break;
        if (c == '\n') {
            ended = true;
            break;
        }
        answer += c;
    }
    if (echoOff) ::tcsetattr(terminal, TCSAFLUSH, &saved);
    if (::write(terminal, "\n", 1) < 0) return false;
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return ended;
}

}  // namespace vxk5
