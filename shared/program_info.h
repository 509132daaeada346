// What the three programs say about themselves: their version, and the answers to --help and
// --version, which are handled before anything else starts (no display, no engine needed).
#pragma once

// The release, as "0.1".
const char* programVersion();

// Prints "program version" on standard output.
void printVersion(const char* program);

// Looks through argv for --help (or -h) and --version: prints usage or the version on standard
// output and answers true (the program then ends with status 0); false when neither is there.
bool answerHelpOrVersion(int argc, char** argv, const char* program, const char* usage);
