// Child processes whose end is told later, on the loop's thread (the dial-up connection's
// "nmcli connection up"); short queries run to their end are in run_process.h.
#pragma once

#include "platform/run_process.h"
#include "platform/spawn.h"
#include <functional>
#include <string>
#include <vector>

namespace plat {

// What a child's end tells: its pid and its exit code as in ProcessResult.
using ProcessEnded = std::function<void(int pid, int exitCode)>;

// Starts argv[0] (looked up on PATH) without waiting. When it ends, onEnd is called in a turn
// of the loop of its own. Answers the pid, or 0 if it could not be started.
int startProcess(const std::vector<std::string>& argv, ProcessEnded onEnd);

// Ends a child started by startProcess at once (SIGKILL); its end is still told.
// False when it is not one of ours or has already ended.
bool killProcess(int pid);

}  // namespace plat
