// What a look-up found about an address's provider: the servers to fetch mail from (POP3,
// IMAP) and to send through (SMTP), each with its port, protection and user name, plus what
// the user must know beyond them (an OAuth 2.0 preset, a note such as "app password needed").
#pragma once

#include "net/transport_security.h"

#include <cstdint>
#include <string>
#include <vector>

namespace autoconfig {

enum class Protocol { Pop3, Imap, Smtp };

// "pop3", "imap", "smtp".
const char* protocolName(Protocol protocol);
// "none", "starttls", "tls": the words trawlexctl takes.
const char* securityName(Security security);

struct ServerSettings {
    Protocol protocol = Protocol::Pop3;
    std::string host;
    std::uint16_t port = 0;
    Security security = Security::Tls;
    std::string user;  // the log-in name for this address, templates already filled in
    bool oauth = false;  // the server signs in with OAuth 2.0 only (or preferably)
};

// A provider's OAuth 2.0 endpoints as its settings file names them, for a provider no preset
// knows. Only https addresses are taken (plain http only on this machine, for tests).
struct OAuthEndpoints {
    std::string name;  // the sign-in page's host, shown as the sign-in's name
    std::string authUrl;
    std::string tokenUrl;
    std::string scope;
    bool empty() const { return authUrl.empty() || tokenUrl.empty(); }
};

struct ProviderSettings {
    std::string provider;  // a name to show ("Fastmail", or the domain)
    std::string source;  // where it came from: "provider table", the URL, "DNS SRV", ...
    std::vector<ServerSettings> incoming;  // in order of preference
    std::vector<ServerSettings> outgoing;
    std::string oauthPreset;  // a preset of shared/oauth_presets, or empty
    OAuthEndpoints oauthEndpoints;  // named by the settings file, when no preset is known
    std::string note;  // what the user must do besides, or empty

    bool empty() const { return incoming.empty() && outgoing.empty(); }
    // The first incoming server of that protocol, or null.
    const ServerSettings* firstIncoming(Protocol protocol) const;
};

// An address split for look-ups. The domain is lower-cased; the local part stays as typed.
struct MailAddress {
    std::string localPart;
    std::string domain;
    std::string text() const { return localPart + "@" + domain; }
    // The local part without a "+tag" (sub-address), as providers take it for a log-in.
    std::string withoutTag() const;
};

// Splits "ann+news@Example.ORG". None (with why) for anything that is not one address of
// printable ASCII with a local part, a single "@" and a domain that is a host name.
bool parseAddress(const std::string& text, MailAddress& out, std::string& why);

// Whether text is a host name the look-ups may give: labels of letters, digits and "-", not
// starting or ending with "-", dot-separated, at most 253 characters, or a dotted IPv4 address.
bool plausibleHostName(const std::string& text);

}  // namespace autoconfig
