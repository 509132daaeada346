// The engine's command line: --help, --version and --data-dir DIR (its working directory).
#pragma once

// What applyCommandLine answers when the engine should start.
inline constexpr int kGoOn = -1;

// Handles the options before anything is opened or logged: prints usage or the version, or
// makes the data directory the working directory. Answers kGoOn, or the exit status to end
// with at once (0 after --help or --version, 1 when the data directory cannot be used, 64 on
// bad usage).
int applyCommandLine(int argc, char** argv);
