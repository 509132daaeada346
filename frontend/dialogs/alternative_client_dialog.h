// "Alternative e-mail client": a command line of the user's own for an account
// whose e-mail program the desktop does not list.
#pragma once

#include <string>

class QWidget;

// Shows the dialog modally, centred, starting with commandLine; true for OK, which puts the
// edited line (at most 259 characters) into commandLine, false for Cancel. Browse puts the
// chosen file into the edit as one word of a command line.
bool editAlternativeClient(std::string& commandLine, QWidget* owner);
