#include "smtp/smtp_extensions.h"

#include <cctype>
#include <cstdint>

namespace {

std::string upper(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The next blank-separated word of text from pos on; empty at the end.
std::string_view nextWord(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    std::size_t start = pos;
    while (pos < text.size() && text[pos] != ' ') ++pos;
    return text.substr(start, pos - start);
}

}  // namespace

void EhloCapabilities::note(std::string_view line) {
    if (line.size() < 4) return;   // a code alone names no extension
    std::string text = upper(line.substr(4));
    std::size_t pos = 0;
    std::string_view keyword = nextWord(text, pos);
    if (keyword == "STARTTLS") {
        startTls = true;
        return;
    }
    std::string_view rest;
    if (keyword == "AUTH") {
        rest = std::string_view(text).substr(pos);
    } else if (keyword.substr(0, 5) == "AUTH=") {
        rest = std::string_view(text).substr(5);
    } else {
        return;
    }
    std::size_t at = 0;
    for (std::string_view mech = nextWord(rest, at); !mech.empty(); mech = nextWord(rest, at)) {
        if (mech == "PLAIN") authPlain = true;
        if (mech == "LOGIN") authLogin = true;
    }
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                          static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[n >> 18 & 63];
        out += kDigits[n >> 12 & 63];
        out += kDigits[n >> 6 & 63];
        out += kDigits[n & 63];
    }
    std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[n >> 18 & 63];
        out += kDigits[n >> 12 & 63];
        out += left == 2 ? kDigits[n >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string authPlainCommand(std::string_view user, std::string_view password) {
    std::string answer;
    answer += '\0';
    answer += user;
    answer += '\0';
    answer += password;
    return "AUTH PLAIN " + base64Encode(answer);
}
