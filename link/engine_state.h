// What a running engine tells the tools about itself: its process, its working directory and
// its two local servers, in the file trawlex.state of the per-user runtime directory. The
// engine writes it at start-up (after its window is published, so only the one engine of the
// user writes it) and removes it when it ends; a file left by a killed engine is only believed
// while an engine answers on the link.
#pragma once

#include <optional>
#include <string>

struct ServerState {
    int port = 0;
    bool listening = false;
};

struct EngineState {
    int pid = 0;
    std::string dataDir;  // absolute
    ServerState smtp;
    ServerState pop3;
};

// Where the file lives.
std::string engineStatePath();

// Writes the file whole (a temporary file renamed into place). False when it cannot be written.
bool writeEngineState(const EngineState& state);
// Reads the file; none when it is absent or does not hold a data directory.
std::optional<EngineState> readEngineState();
void removeEngineState();
// The engine's data folder: the running engine's, else the one it would use.
std::string engineDataDirectory();
