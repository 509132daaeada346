// Per-user directories of the two programs.
#pragma once

#include <string>

namespace plat {

// $XDG_RUNTIME_DIR/tarnwick (mode 0700), or /tmp/tarnwick-<uid>; created on first use.
// Holds the link sockets and the lock files of the named mutexes.
const std::string& runtimeDir();

// $XDG_CONFIG_HOME/tarnwick, default ~/.config/tarnwick; created on first use.
std::string configDir();

// $XDG_DATA_HOME/tarnwick, default ~/.local/share/tarnwick (not created here).
std::string dataDir();

// Makes path the working directory, creating it and its missing parents (mode 0700) first.
// Answers 0 or the errno value.
int enterDirectory(const std::string& path);

// The working directory as an absolute path; empty when it cannot be had.
std::string currentDirectory();

// The id of this process.
int processId();

}  // namespace plat
