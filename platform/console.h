// Console stand-ins for the desktop facilities a windowless program lacks.
#pragma once

namespace plat {

// The debugger output of the log: standard error, one call one write.
void debugOutput(const char* text);

// A message box without a display: "caption: text" on standard error; answers OK at once.
int messageBox(const char* text, const char* caption);
constexpr int kIdOk = 1;

// No sound on a console program.
void messageBeep();

}  // namespace plat

namespace plat {
// Process set-up for a program of the system: a peer that closes a socket never kills it,
// and what it creates is its user's alone (umask 077).
void prepareProcess();
}  // namespace plat
