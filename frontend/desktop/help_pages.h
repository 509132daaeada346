// The addresses the Help menu opens: pages of the help shipped beside the program, and the
// support address of an Internet shortcut "Support.url".
#pragma once

#include <optional>
#include <string>

// file://<helpDir>/<page>, with #<anchor> when one is given.
std::string helpPageAddress(const std::string& helpDir, const char* page, const char* anchor = nullptr);

// The URL= line of the first "Support.url" that has one, the working directory's before the
// help pages'; a target without a scheme is a file of the help pages. Nothing when neither has.
std::optional<std::string> supportAddress(const std::string& helpDir);
