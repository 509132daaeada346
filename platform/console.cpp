#include "platform/console.h"

#include <string>
#include <unistd.h>

namespace plat {

static void writeAll(const std::string& s) {
    const char* p = s.data();
    size_t left = s.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void debugOutput(const char* text) {
    if (text) writeAll(text);
}

int messageBox(const char* text, const char* caption) {
    std::string line = std::string(caption ? caption : "") + ": " + (text ? text : "");
    if (line.empty() || line.back() != '\n') line += '\n';
    writeAll(line);
    return kIdOk;
}

void messageBeep() {}

}  // namespace plat

#include "platform/files.h"

#include <csignal>

namespace plat {
void prepareProcess() {
    std::signal(SIGPIPE, SIG_IGN);
    // Mail is the user's alone: directories 0700, files 0600.
    keepNewFilesPrivate();
}
}  // namespace plat
