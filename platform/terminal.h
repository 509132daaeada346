// Questions a command-line program asks on its standard input.
#pragma once

#include <optional>
#include <string>

namespace plat {

// Whether standard input is a terminal (a user who can answer).
bool stdinIsTerminal();

// One line of standard input without its line end, at most maxLength bytes (a longer line is
// refused); none at end of input. hidden: the terminal does not echo what is typed (a
// password), and the echo comes back afterwards.
std::optional<std::string> readInputLine(bool hidden, std::size_t maxLength = 4096);

}  // namespace plat
