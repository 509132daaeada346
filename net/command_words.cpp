#include "net/command_words.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace cmdline {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    return a.size() == n && startsWithNoCase(a, b);
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

std::string wordAt(const std::string& text, std::size_t pos) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !isBlank(text[end])) ++end;
    return text.substr(pos, end - pos);
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (;;) {
        while (pos < text.size() && isBlank(text[pos])) ++pos;
        if (pos == text.size()) return out;
        std::size_t end = pos;
        while (end < text.size() && !isBlank(text[end])) ++end;
        out.push_back(text.substr(pos, end - pos));
        pos = end;
    }
}

std::string secondWord(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    while (pos < text.size() && !isBlank(text[pos])) ++pos;
    return wordAt(text, pos);
}

std::string restAfterFirstWord(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    while (pos < text.size() && !isBlank(text[pos])) ++pos;
    if (pos < text.size()) ++pos;
    return text.substr(pos);
}

std::optional<long> decimal(const std::string& word) {
    if (word.empty()) return std::nullopt;
    std::size_t digits = (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (digits == word.size()) return std::nullopt;
    for (std::size_t i = digits; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') return std::nullopt;
    }
    errno = 0;
    long value = std::strtol(word.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return value;
}

}  // namespace cmdline
