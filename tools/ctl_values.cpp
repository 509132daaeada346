#include "tools/ctl_values.h"

#include "autoconfig/mail_settings.h"

#include <cctype>

namespace ctl {
namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool hasControl(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

bool number(const std::string& text, std::uint32_t low, std::uint32_t high, std::uint32_t& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long n = std::stoul(text);
    if (n < low || n > high) return false;
    out = static_cast<std::uint32_t>(n);
    return true;
}

// A word of words (its index) or its number.
bool choice(const std::string& text, std::initializer_list<const char*> words, std::uint32_t& out) {
    std::string t = lowered(text);
    std::uint32_t i = 0;
    for (const char* w : words) {
        if (t == w || t == std::to_string(i)) {
            out = i;
            return true;
        }
        ++i;
    }
    return false;
}

}  // namespace

bool parsePort(const std::string& text, const char* what, std::uint32_t& out, std::string& why) {
    if (number(text, 1, 65535, out)) return true;
    why = std::string(what) + " '" + text + "' is not a port: give a number from 1 to 65535";
    return false;
}

bool parseSecurity(const std::string& text, const char* what, std::uint32_t& out, std::string& why) {
    if (choice(text, {"none", "starttls", "tls"}, out)) return true;
    why = std::string(what) + " '" + text + "' is not allowed: give none, starttls or tls";
    return false;
}

bool parseProtocol(const std::string& text, std::uint32_t& out, std::string& why) {
    if (choice(text, {"pop3", "imap"}, out)) return true;
    why = "protocol '" + text + "' is not allowed: give pop3 or imap";
    return false;
}

bool parseLeave(const std::string& text, std::uint32_t& mode, std::uint32_t& days, std::string& why) {
    days = 0;
    std::string t = lowered(text);
    if (t == "no") {
        mode = 0;
        return true;
    }
    if (t == "yes") {
        mode = 1;
        return true;
    }
    if (number(t, 1, 3650, days)) {
        mode = 2;
        return true;
    }
    why = "leave '" + text +
          "' is not allowed: give no (delete fetched mail), yes (leave it on the server) or a "
          "number of days from 1 to 3650 (leave it, then delete it)";
    return false;
}

bool parseAuth(const std::string& text, const char* what, std::uint32_t& out, std::string& why) {
    if (choice(text, {"password", "oauth"}, out)) return true;
    why = std::string(what) + " '" + text + "' is not allowed: give password or oauth";
    return false;
}

bool checkServer(std::string& host, const char* what, std::string& why) {
    std::string lower = lowered(host);
    if (lower.find_first_of(" @?*") == std::string::npos && autoconfig::plausibleHostName(lower) &&
        lower.size() < 199) {
        host = lower;
        return true;
    }
    why = std::string(what) + " '" + host +
          "' is not a host name: give letters, digits, '-' and '.' (no blank, '@', "
          "'?' or '*'), or a dotted address";
    return false;
}

bool checkTitle(const std::string& title, std::string& why) {
    if (title.empty()) {
        why = "the account title is empty";
    } else if (title.find_first_of(" @?*\\") != std::string::npos || hasControl(title)) {
        why = "title '" + title + "' is not allowed: a title holds no blank, '@', '?', '*' or '\\'";
    } else if (title.size() > 199) {
        why = "title '" + title.substr(0, 20) + "...' is longer than 199 characters";
    } else if (lowered(title) == "outgoing") {
        why = "title 'outgoing' is not allowed: it names the outgoing host";
    } else {
        return true;
    }
    return false;
}

bool checkUser(const std::string& user, const char* what, std::string& why) {
    if (!user.empty() && user.find('/') == std::string::npos && !hasControl(user) && user.size() < 199) return true;
    why = std::string(what) + " '" + user +
          "' is not allowed: give a name without '/' or control characters, under 199 "
          "characters";
    return false;
}

bool checkPassword(const std::string& password, std::string& why) {
    if (password.empty()) {
        why = "the password is empty";
    } else if (password.find_first_of("\r\n") != std::string::npos) {
        why = "the password holds a line end";
    } else if (password.size() >= 100) {
        why = "the password is longer than 99 characters";
    } else {
        return true;
    }
    return false;
}

bool checkText(const std::string& text, const char* what, std::string& why) {
    if (!hasControl(text) && text.size() < 199) return true;
    why = std::string(what) + " '" + text +
          "' is not allowed: give text without control characters, under 199 "
          "characters";
    return false;
}

bool checkAddresses(std::string& text, std::string& why) {
    std::string out, word;
    auto take = [&]() {
        if (word.empty()) return true;
        autoconfig::MailAddress a;
        std::string reason;
        if (!autoconfig::parseAddress(word, a, reason)) {
            why = "addresses: " + reason;
            return false;
        }
        out += (out.empty() ? "" : ", ") + a.text();
        word.clear();
        return true;
    };
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ';') {
            if (!take()) return false;
        } else {
            word += c;
        }
    }
    if (!take()) return false;
    if (out.empty() || out.size() >= 199) {
        why = "addresses '" + text +
              "' is not allowed: give one or more e-mail addresses separated by commas, under 199 "
              "characters together";
        return false;
    }
    text = out;
    return true;
}

std::uint32_t usualPort(const std::string& protocol, std::uint32_t security) {
    if (protocol == "smtp") return security == 2 ? 465 : security == 1 ? 587 : 25;
    if (protocol == "imap") return security == 2 ? 993 : 143;
    return security == 2 ? 995 : 110;
}

}  // namespace ctl
