// Child processes: short queries run to their end, and programs whose end arrives later as a
// queued message (the dial-up connection's "nmcli connection up").
#pragma once

#include "platform/spawn.h"
#include "platform/window.h"

#include <string>
#include <vector>

namespace plat {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;   // ended by us (SIGKILL) after the time limit
    int exitCode = -1;       // 0..255, or 128 + signal number
    std::string output;      // what it wrote on standard output
};

// Runs argv[0] (looked up on PATH) with its standard output collected, at most timeoutMs.
ProcessResult runProcess(const std::vector<std::string>& argv, int timeoutMs);

// Starts argv[0] (looked up on PATH) without waiting. When it ends, (msg, pid, exit code as
// above) is queued to hwnd. Answers the pid, or 0 if it could not be started.
int startProcess(const std::vector<std::string>& argv, HWND hwnd, UINT msg);

// Ends a child started by startProcess at once (SIGKILL); its end still arrives as its message.
// False when it is not one of ours or has already ended.
bool killProcess(int pid);

}  // namespace plat
