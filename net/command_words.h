// Reading the words of a command line, shared by the local servers' sessions. Words are
// delimited by white space; command names compare without regard to letter case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cmdline {

// Whether a equals b, ignoring ASCII letter case.
bool equalsNoCase(const std::string& a, const char* b);
// Whether text begins with prefix, ignoring ASCII letter case.
bool startsWithNoCase(const std::string& text, const char* prefix);
// The first word of text from pos on; empty if there is none.
std::string wordAt(const std::string& text, std::size_t pos);
// Every word of text, in order.
std::vector<std::string> words(const std::string& text);
// The word after the first one ("%*s %s"); empty if there is none.
std::string secondWord(const std::string& text);
// Everything after the first word and the one blank that follows it, blanks included; empty
// if there is nothing.
std::string restAfterFirstWord(const std::string& text);
// A word that is a whole decimal integer (optionally signed, within the range of long);
// none for anything else ("1x", "", "99999999999999999999").
std::optional<long> decimal(const std::string& word);

}  // namespace cmdline
