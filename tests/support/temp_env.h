// A private world for one test program: temporary runtime, config and data directories and a
// fresh working directory, so that runs never meet each other or the user's files.
#pragma once

#include <string>

namespace testsupport {

// Creates a temporary directory under $TMPDIR (or /tmp) and answers its path.
std::string makeTempDir(const char* prefix);

// Points HOME and every XDG directory at new temporary directories, drops the display and the
// session bus of the calling session, and changes into a new empty working directory. Call before anything touches those paths
// (a test main or a global environment does this).
void enterPrivateWorld();

// The working directory chosen by enterPrivateWorld.
const std::string& worldDir();

// Empties the world's configuration, data and working directories and changes back into the
// working directory, so that the next test starts as if it were the first.
void clearWorld();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);

}  // namespace testsupport
