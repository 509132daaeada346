// Starting programs that live on without us: the engine beside the front end, the user's
// e-mail program, a program run on new mail. Also the word splitting of a stored command line.
#pragma once

#include <string>
#include <vector>

namespace plat {

// The full path of an executable called name on PATH, or empty. A name with a "/" is taken
// as a path: it answers itself when it is an executable regular file.
std::string findOnPath(const std::string& name);

// Splits a command line into words as a POSIX shell would: blanks separate words; single quotes
// keep everything literally; inside double quotes a backslash escapes only $ ` " \ and a line
// end; elsewhere it escapes any character. No variables, globs or other expansions. False (and
// no words) for an unterminated quote or a trailing lone backslash.
bool splitCommandLine(const std::string& line, std::vector<std::string>& words);

// Starts the program at path (argv[0] is passed as given) in a session of its own, standard
// input and output on /dev/null, standard error inherited, not waited for: a double fork hands
// it to init, which reaps it. Answers 0 when the program is running, else the errno of the
// failed fork or exec.
int spawnDetached(const std::string& path, const std::vector<std::string>& argv);

// The directory that holds this program's executable (/proc/self/exe), or empty.
std::string selfExeDir();

}  // namespace plat
