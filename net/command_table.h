// The command table of a local server session: rows of a command name, the states that read
// it and the session's handler. A handler answers false when it refuses the command.
#pragma once

#include "net/command_words.h"

#include <string>

template <class Session>
struct SessionCommand {
    const char* word;
    int states;  // a bit mask of the session's state values
    bool (Session::*handler)(const std::string& line);
};

// The row for the first word of line in state, ignoring letter case; none if no row fits.
template <class Session, std::size_t N>
const SessionCommand<Session>* findCommand(const SessionCommand<Session> (&table)[N], const std::string& line,
                                           int state) {
    std::string word = cmdline::wordAt(line, 0);
    for (const SessionCommand<Session>& c : table) {
        if ((c.states & state) && cmdline::equalsNoCase(word, c.word)) return &c;
    }
    return nullptr;
}
