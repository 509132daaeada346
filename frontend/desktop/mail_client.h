// The user's e-mail programs: the ones the desktop has registered (desktop entries that handle
// mailto: or are in the Email category), the default one, their command lines, and starting a
// stored command line.
#pragma once

#include <string>
#include <vector>

// The name of the desktop's default mailto: handler, or empty.
std::string defaultMailClient();

// The command line of the registered client called name (its Exec= without field codes), or
// empty when there is none.
std::string mailClientCommandLine(const std::string& name);

// The names of the registered clients, ordered by their desktop entry ids.
std::vector<std::string> listMailClients();

// Starts a stored command line: the first word (shell quoting) is the program, a path with a
// "/" or a name on PATH; the other words are its arguments. Answers true once the program
// runs; false when the line is empty or names no executable program (nothing is shown) and
// when the start fails (a message box, opened without waiting for it, says why).
bool launchCommandLine(const std::string& line);
