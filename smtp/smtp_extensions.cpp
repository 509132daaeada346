#include "smtp/smtp_extensions.h"

#include "net/command_words.h"

#include <cstdint>
#include <vector>

using cmdline::equalsNoCase;

void EhloCapabilities::note(std::string_view line) {
    if (line.size() < 4) return;  // a code alone names no extension
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
        words[0].erase(0, 5);  // the old form: the first mechanism follows the '='
    } else {
        return;
    }
    for (const std::string& mechanism : words) {
        if (equalsNoCase(mechanism, "PLAIN")) authPlain = true;
        if (equalsNoCase(mechanism, "LOGIN")) authLogin = true;
        if (equalsNoCase(mechanism, "XOAUTH2")) authXoauth2 = true;
        if (equalsNoCase(mechanism, "OAUTHBEARER")) authOauthBearer = true;
    }
}

std::string authPlainCommand(std::string_view user, std::string_view password) {
    std::string answer;
    answer += '\0';
    answer += user;
    answer += '\0';
    answer += password;
    return "AUTH PLAIN " + base64Encode(answer);
}
