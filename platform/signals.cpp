#include "platform/signals.h"

#include "platform/event_loop.h"
#include "platform/window.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace plat {
namespace {

int g_wakeFd = -1;
int g_readFd = -1;
std::function<void(int)> g_action;

void onSignal(int signal) {
    auto byte = static_cast<unsigned char>(signal);
    (void)!::write(g_wakeFd, &byte, 1);
}

}  // namespace

bool onTerminateSignal(std::function<void(int)> action) {
    g_action = std::move(action);
    if (g_readFd < 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        g_readFd = fds[0];
        g_wakeFd = fds[1];
        if (watchReadable(g_readFd, [] {
                unsigned char buf[16];
                ssize_t n;
                while ((n = ::read(g_readFd, buf, sizeof buf)) > 0) {
                    for (ssize_t i = 0; i < n; ++i)
                        if (g_action) g_action(buf[i]);
                }
            }) == 0)
            return false;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

bool quitOnInterrupt(int exitCode) {
    return onTerminateSignal([exitCode](int) { postQuitMessage(exitCode); });
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    default: return "a signal";
    }
}

}  // namespace plat
