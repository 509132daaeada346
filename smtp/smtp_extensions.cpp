#include "smtp/smtp_extensions.h"

#include "net/command_words.h"

#include <cstdint>
#include <vector>

using cmdline::equalsNoCase;

void EhloCapabilities::note(std::string_view line) {
    if (line.size() < 4) return;   // a code alone names no extension
    std::vector<std::string> words = cmdline::words(std::string(line.substr(4)));
    if (words.empty()) return;
    if (equalsNoCase(words[0], "STARTTLS")) {
        startTls = true;
        return;
    }
    if (equalsNoCase(words[0], "PIPELINING")) {
        pipelining = true;
        return;
    }
    if (equalsNoCase(words[0], "AUTH")) {
        words[0].clear();
    } else if (cmdline::startsWithNoCase(words[0], "AUTH=")) {
        words[0].erase(0, 5);   // the old form: the first mechanism follows the '='
    } else {
        return;
    }
    for (const std::string& mechanism : words) {
        if (equalsNoCase(mechanism, "PLAIN")) authPlain = true;
        if (equalsNoCase(mechanism, "LOGIN")) authLogin = true;
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
