#include "autoconfig/provider_table.h"

#include <cstdint>

namespace autoconfig {
namespace {

// The log-in name a server takes: the whole address, or the part before "@" (both without a
// "+tag": every provider below delivers user+tag@ to user@, and logs in user@).
enum class UserForm { Address, LocalPart };

struct TableServer {
    Protocol protocol;
    const char* host;  // null ends the list
    std::uint16_t port;
    Security security;
    UserForm user;
};

struct TableEntry {
    const char* name;
    const char* domains[16];  // null ends the list
    const char* mxSuffixes[4];  // names of the provider's mail exchangers end in one of these
    TableServer servers[6];  // incoming first, in order of preference, then outgoing
    const char* oauthPreset;  // or ""
    const char* note;  // or ""
    bool oauthOnly;  // passwords are refused: the servers want OAuth 2.0
};

constexpr UserForm A = UserForm::Address;
constexpr UserForm L = UserForm::LocalPart;
constexpr Protocol POP = Protocol::Pop3;
constexpr Protocol IMAP = Protocol::Imap;
constexpr Protocol SMTP = Protocol::Smtp;
constexpr Security TLS = Security::Tls;
constexpr Security STARTTLS = Security::StartTls;

// Settings as each provider publishes them for mail programs.
constexpr TableEntry kTable[] = {
    {"Gmail",
     {"gmail.com", "googlemail.com"},
     {".google.com", ".googlemail.com"},
     {{POP, "pop.gmail.com", 995, TLS, A},
      {IMAP, "imap.gmail.com", 993, TLS, A},
      {SMTP, "smtp.gmail.com", 465, TLS, A}},
     "google",
     "sign in with OAuth 2.0 (--oauth google), or use an app password (needs 2-Step Verification); POP3 must be "
     "switched on in Gmail's settings",
     false},
    {"Outlook.com",
     {"outlook.com", "hotmail.com", "live.com", "msn.com", "hotmail.co.uk", "hotmail.de", "hotmail.fr", "hotmail.it",
      "outlook.de", "outlook.fr", "outlook.it", "live.de", "live.fr", "live.co.uk"},
     {".olc.protection.outlook.com"},
     {{POP, "outlook.office365.com", 995, TLS, A},
      {IMAP, "outlook.office365.com", 993, TLS, A},
      {SMTP, "smtp-mail.outlook.com", 587, STARTTLS, A}},
     "microsoft",
     "passwords are refused: sign in with OAuth 2.0 (--oauth microsoft); POP3 must be switched on in Outlook's "
     "settings",
     true},
    {"Microsoft 365",
     {},
     {".mail.protection.outlook.com"},
     {{POP, "outlook.office365.com", 995, TLS, A},
      {IMAP, "outlook.office365.com", 993, TLS, A},
      {SMTP, "smtp.office365.com", 587, STARTTLS, A}},
     "microsoft",
     "passwords are refused: sign in with OAuth 2.0 (--oauth microsoft); the organisation must allow POP3 or IMAP",
     true},
    {"iCloud Mail",
     {"icloud.com", "me.com", "mac.com"},
     {".mail.icloud.com"},
     {{IMAP, "imap.mail.me.com", 993, TLS, L}, {SMTP, "smtp.mail.me.com", 587, STARTTLS, A}},
     "",
     "app-specific password needed (made at the Apple account's sign-in and security page); no POP3",
     false},
    {"Yahoo Mail",
     {"yahoo.com", "ymail.com", "rocketmail.com", "yahoo.co.uk", "yahoo.de", "yahoo.fr", "yahoo.it", "yahoo.es",
      "yahoo.ca", "yahoo.com.au", "yahoo.co.in", "yahoo.co.jp"},
     {".yahoodns.net"},
     {{POP, "pop.mail.yahoo.com", 995, TLS, A},
      {IMAP, "imap.mail.yahoo.com", 993, TLS, A},
      {SMTP, "smtp.mail.yahoo.com", 465, TLS, A}},
     "",
     "app password needed (made in the Yahoo account's security settings)",
     false},
    {"GMX",
     {"gmx.net", "gmx.de", "gmx.at", "gmx.ch"},
     {".gmx.net"},
     {{POP, "pop.gmx.net", 995, TLS, A}, {IMAP, "imap.gmx.net", 993, TLS, A}, {SMTP, "mail.gmx.net", 587, STARTTLS, A}},
     "",
     "POP3 and IMAP must be switched on in the web mail's settings",
     false},
    {"GMX",
     {"gmx.com", "gmx.us", "gmx.co.uk", "gmx.fr", "gmx.es"},
     {".gmx.com"},
     {{POP, "pop.gmx.com", 995, TLS, A}, {IMAP, "imap.gmx.com", 993, TLS, A}, {SMTP, "mail.gmx.com", 587, STARTTLS, A}},
     "",
     "POP3 and IMAP must be switched on in the web mail's settings",
     false},
    {"WEB.DE",
     {"web.de"},
     {".web.de"},
     {{POP, "pop3.web.de", 995, TLS, A}, {IMAP, "imap.web.de", 993, TLS, A}, {SMTP, "smtp.web.de", 587, STARTTLS, A}},
     "",
     "POP3 and IMAP must be switched on in the web mail's settings",
     false},
    {"Fastmail",
     {"fastmail.com", "fastmail.fm", "fastmail.net", "fastmail.org", "fastmail.us", "fastmail.to", "fastmail.cn",
      "fastmail.de", "fastmail.es", "fastmail.in", "fastmail.jp", "fastmail.mx", "fastmail.se", "fastmail.co.uk",
      "sent.com", "messagingengine.com"},
     {".messagingengine.com"},
     {{POP, "pop.fastmail.com", 995, TLS, A},
      {IMAP, "imap.fastmail.com", 993, TLS, A},
      {SMTP, "smtp.fastmail.com", 465, TLS, A}},
     "",
     "app password needed (Settings, Privacy & Security, App passwords)",
     false},
    {"mailbox.org",
     {"mailbox.org"},
     {".mailbox.org"},
     {{POP, "pop3.mailbox.org", 995, TLS, A},
      {IMAP, "imap.mailbox.org", 993, TLS, A},
      {SMTP, "smtp.mailbox.org", 465, TLS, A}},
     "",
     "",
     false},
    {"Posteo",
     {"posteo.de", "posteo.net", "posteo.org", "posteo.eu", "posteo.at", "posteo.ch", "posteo.be", "posteo.us",
      "posteo.me", "posteo.co.uk", "posteo.es", "posteo.nl", "posteo.jp", "posteo.ie", "posteo.fr", "posteo.it"},
     {".posteo.de"},
     {{POP, "posteo.de", 995, TLS, A}, {IMAP, "posteo.de", 993, TLS, A}, {SMTP, "posteo.de", 465, TLS, A}},
     "",
     "",
     false},
    {"Zoho Mail",
     {"zoho.com", "zohomail.com"},
     {".zoho.com"},
     {{POP, "pop.zoho.com", 995, TLS, A}, {IMAP, "imap.zoho.com", 993, TLS, A}, {SMTP, "smtp.zoho.com", 465, TLS, A}},
     "",
     "POP3 or IMAP access must be switched on in Zoho Mail's settings; with two-factor sign-in an application-specific "
     "password is needed",
     false},
    {"Zoho Mail (EU)",
     {"zoho.eu", "zohomail.eu"},
     {".zoho.eu"},
     {{POP, "pop.zoho.eu", 995, TLS, A}, {IMAP, "imap.zoho.eu", 993, TLS, A}, {SMTP, "smtp.zoho.eu", 465, TLS, A}},
     "",
     "POP3 or IMAP access must be switched on in Zoho Mail's settings; with two-factor sign-in an application-specific "
     "password is needed",
     false},
    {"Proton Mail (through Proton Mail Bridge)",
     {"proton.me", "protonmail.com", "protonmail.ch", "pm.me"},
     {".protonmail.ch"},
     {{IMAP, "127.0.0.1", 1143, STARTTLS, A}, {SMTP, "127.0.0.1", 1025, STARTTLS, A}},
     "",
     "needs Proton Mail Bridge running on this machine: use the user name and password Bridge shows, and put the "
     "certificate Bridge exports into the cafile setting",
     false},
};

ProviderSettings fill(const TableEntry& entry, const MailAddress& address) {
    ProviderSettings out;
    out.provider = entry.name;
    out.source = "provider table";
    out.oauthPreset = entry.oauthPreset;
    out.note = entry.note;
    const std::string local = address.withoutTag();
    for (const TableServer& t : entry.servers) {
        if (!t.host) break;
        ServerSettings s;
        s.protocol = t.protocol;
        s.host = t.host;
        s.port = t.port;
        s.security = t.security;
        s.user = t.user == UserForm::LocalPart ? local : local + "@" + address.domain;
        s.oauth = entry.oauthOnly;
        (t.protocol == Protocol::Smtp ? out.outgoing : out.incoming).push_back(s);
    }
    return out;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

bool lookUpProviderByDomain(const MailAddress& address, ProviderSettings& out) {
    const std::string domain = lowered(address.domain);
    for (const TableEntry& entry : kTable) {
        for (const char* d : entry.domains) {
            if (!d) break;
            if (domain == d) {
                out = fill(entry, address);
                return true;
            }
        }
    }
    return false;
}

bool lookUpProviderByMx(const std::string& mxHost, const MailAddress& address, ProviderSettings& out) {
    std::string host = lowered(mxHost);
    if (!host.empty() && host.back() == '.') host.pop_back();
    for (const TableEntry& entry : kTable) {
        for (const char* suffix : entry.mxSuffixes) {
            if (!suffix) break;
            if (endsWith(host, suffix)) {
                out = fill(entry, address);
                out.source = "mail exchanger " + host;
                return true;
            }
        }
    }
    return false;
}

}  // namespace autoconfig
