// Putting a file into a folder on another file system, where a rename cannot take it, with the
// same promise as a rename: the file appears whole under its name or not at all.
#pragma once

#include <string>

namespace plat {

// Copies from to the new file to (never replacing one: EEXIST when to exists), its bytes
// flushed to disk before it gets its name. The folder of to still needs its own flush for the
// name to last. Where the system allows, the copy is made without a name and named when whole,
// so an interruption leaves nothing behind; elsewhere it is written as to + ".part" first.
// Returns 0 or the errno value; the source is never touched.
int copyFileNoReplace(const std::string& from, const std::string& to);

// Whether a file can be made in dir: one is made and removed again. Returns 0 or the errno
// value (ENOENT: no such folder, EACCES, EROFS, ENOSPC, EDQUOT, ...).
int checkCanMakeFilesIn(const std::string& dir);

}  // namespace plat
