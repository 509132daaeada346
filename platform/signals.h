// Ending the message loop on an interrupt, so that a program can tidy up (hand a role back,
// hang up a line, say goodbye) instead of dying in the middle.
#pragma once

#include <functional>

namespace plat {

// From now on SIGINT and SIGTERM call action(signal number) on the loop's thread, between
// events (the handler itself only writes to a pipe). Answers false when the pipe or the
// handlers could not be set. One action per process; a later call replaces it.
bool onTerminateSignal(std::function<void(int)> action);

// From now on SIGINT and SIGTERM end runMessageLoop with exitCode.
bool quitOnInterrupt(int exitCode);

// "SIGTERM", "SIGINT", or "a signal" for another one (for log lines).
const char* signalName(int signal);

}  // namespace plat
