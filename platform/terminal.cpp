#include "platform/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace plat {

bool stdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readInputLine(bool hidden, std::size_t maxLength) {
    termios saved{};
    bool restore = false;
    if (hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        restore = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    std::string line;
    bool any = false, tooLong = false;
    char c;
    // Byte by byte, so that nothing past the line is taken from the input.
    while (::read(STDIN_FILENO, &c, 1) == 1) {
        any = true;
        if (c == '\n') break;
        if (line.size() >= maxLength) tooLong = true;
        else line += c;
    }
    if (restore) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    if (!any || tooLong) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace plat
