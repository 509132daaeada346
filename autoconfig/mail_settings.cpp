#include "autoconfig/mail_settings.h"

#include <cctype>

namespace autoconfig {

const char* protocolName(Protocol protocol) {
    switch (protocol) {
    case Protocol::Pop3: return "pop3";
    case Protocol::Imap: return "imap";
    case Protocol::Smtp: return "smtp";
    }
    return "?";
}

const char* securityName(Security security) {
    switch (security) {
    case Security::None: return "none";
    case Security::StartTls: return "starttls";
    case Security::Tls: return "tls";
    }
    return "?";
}

const ServerSettings* ProviderSettings::firstIncoming(Protocol protocol) const {
    for (const ServerSettings& s : incoming)
        if (s.protocol == protocol) return &s;
    return nullptr;
}

std::string MailAddress::withoutTag() const {
    std::size_t plus = localPart.find('+');
    return plus == std::string::npos || plus == 0 ? localPart : localPart.substr(0, plus);
}

bool plausibleHostName(const std::string& text) {
    if (text.empty() || text.size() > 253) return false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t dot = text.find('.', start);
        std::size_t end = dot == std::string::npos ? text.size() : dot;
        std::size_t length = end - start;
        if (length == 0 || length > 63) return false;
        if (text[start] == '-' || text[end - 1] == '-') return false;
        for (std::size_t i = start; i < end; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (!std::isalnum(c) && c != '-') return false;
        }
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return true;
}

bool parseAddress(const std::string& text, MailAddress& out, std::string& why) {
    std::size_t at = text.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == text.size()) {
        why = "'" + text + "' is not an e-mail address (name@domain)";
        return false;
    }
    if (text.size() > 254) {
        why = "the address is longer than 254 characters";
        return false;
    }
    std::string local = text.substr(0, at);
    for (unsigned char c : local) {
        if (c <= ' ' || c >= 0x7f || c == '@' || c == '"' || c == '\\' || c == '/') {
            why = "'" + text + "': the part before @ holds a blank, a quote, a slash or a character outside ASCII";
            return false;
        }
    }
    std::string domain = text.substr(at + 1);
    for (char& c : domain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!plausibleHostName(domain) || domain.find('.') == std::string::npos) {
        why = "'" + text + "': '" + domain + "' is not a domain name";
        return false;
    }
    out.localPart = local;
    out.domain = domain;
    return true;
}

}  // namespace autoconfig
