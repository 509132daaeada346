// Ending the message loop on an interrupt, so that a tool can tidy up (hand a role back, say
// goodbye) instead of dying in the middle.
#pragma once

namespace plat {

// From now on SIGINT and SIGTERM end runMessageLoop with exitCode (the handler only writes to a
// pipe; the loop does the rest). Answers false when the pipe or the handlers could not be set.
bool quitOnInterrupt(int exitCode);

}  // namespace plat
