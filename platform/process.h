// Child processes whose end arrives later as a queued message (the dial-up connection's
// "nmcli connection up"); short queries run to their end are in run_process.h.
#pragma once

#include "platform/run_process.h"
#include "platform/spawn.h"
#include "platform/window.h"

#include <string>
#include <vector>

namespace plat {

// Starts argv[0] (looked up on PATH) without waiting. When it ends, (msg, pid, exit code as
// in ProcessResult) is queued to hwnd. Answers the pid, or 0 if it could not be started.
int startProcess(const std::vector<std::string>& argv, HWND hwnd, UINT msg);

// Ends a child started by startProcess at once (SIGKILL); its end still arrives as its message.
// False when it is not one of ours or has already ended.
bool killProcess(int pid);

}  // namespace plat
