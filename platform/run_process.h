// Short child processes run to their end with their output collected: queries that need no
// message loop (the dial-up connection's status questions, in both programs).
#pragma once

#include <string>
#include <vector>

namespace plat {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;  // ended by us (SIGKILL) after the time limit
    int exitCode = -1;  // 0..255, or 128 + signal number
    std::string output;  // what it wrote on standard output
};

// Runs argv[0] (looked up on PATH) with its standard output collected, at most timeoutMs.
ProcessResult runProcess(const std::vector<std::string>& argv, int timeoutMs);

// A wait status as an exit code: 0..255, or 128 + signal number; -1 for anything else.
int exitCodeOf(int status);

// argv as the null-terminated array the spawn calls take; valid while argv lives.
std::vector<char*> argvOf(const std::vector<std::string>& argv);

}  // namespace plat
