#include "platform/signals.h"

#include "platform/event_loop.h"
#include "platform/window.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace plat {
namespace {

int g_wakeFd = -1;

void onSignal(int) {
    char byte = 1;
    (void)!::write(g_wakeFd, &byte, 1);
}

}  // namespace

bool quitOnInterrupt(int exitCode) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    int readFd = fds[0];
    g_wakeFd = fds[1];
    if (watchReadable(readFd, [readFd, exitCode] {
            char buf[16];
            while (::read(readFd, buf, sizeof buf) > 0) {}
            postQuitMessage(exitCode);
        }) == 0)
        return false;
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

}  // namespace plat
