#include "tools/ctl_account.h"

#include "autoconfig/discovery.h"
#include "autoconfig/platform_sources.h"
#include "config/account_values.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/secret_store.h"
#include "platform/terminal.h"
#include "link/engine_state.h"
#include "config/local_ports.h"
#include "oauth/oauth_presets.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"
#include "secrets/secret_settings.h"
#include "tools/ctl_values.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>

namespace {

constexpr int kExitDeclined = 1;
constexpr int kExitFailed = 4;
constexpr int kExitUsage = 64;

int refuse(const std::string& why) {
    std::fprintf(stderr, "trawlexctl: %s\n", why.c_str());
    return kExitUsage;
}

int failed(const std::string& why) {
    std::fprintf(stderr, "trawlexctl: %s\n", why.c_str());
    return kExitFailed;
}

// Options of the form --name VALUE and flags, after the positional words.
struct Options {
    std::vector<std::string> words;
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;
    const std::string* get(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    }
    bool flag(const std::string& name) const { return flags.count(name) != 0; }
};

bool parseOptions(const std::vector<std::string>& args, std::initializer_list<const char*> valued,
                  std::initializer_list<const char*> flags, Options& out, std::string& why) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            out.words.push_back(a);
            continue;
        }
        bool known = false;
        for (const char* v : valued) {
            if (a == v) {
                if (i + 1 >= args.size()) {
                    why = a + " needs a value";
                    return false;
                }
                if (out.values.count(a)) {
                    why = a + " given twice";
                    return false;
                }
                out.values[a] = args[++i];
                known = true;
            }
        }
        for (const char* f : flags) {
            if (a == f) {
                out.flags[a] = true;
                known = true;
            }
        }
        if (!known) {
            why = "unknown option " + a;
            return false;
        }
    }
    return true;
}

// The accounts key opened to read, never created: a command that only reads or refuses leaves
// user.reg as it was. False (with the key closed) when there is no account yet.
bool openAccounts(plat::RegKey& accounts) {
    return plat::regOpenKey(plat::Hive::CurrentUser, kAccountsKey, plat::KeyAccess::Read, accounts) ==
           plat::RegStatus::Ok;
}

// The mailbox directory of a new account is made relative to the working directory, as the
// front end makes it in the data directory: trawlexctl goes there first, or, while there is
// none yet, to "/", where no "accounts/" is found (the engine makes the folder at its start).
void enterDataDirectory() {
    std::string dir = engineDataDirectory();
    plat::enterDirectory(plat::fileExists(dir) ? dir : "/");
}

std::optional<std::string> readPassword(bool fromStdin, const std::string& prompt, std::string& why) {
    if (!fromStdin && !plat::stdinIsTerminal()) {
        why = "no password: give it on standard input with --password-stdin";
        return std::nullopt;
    }
    if (!fromStdin) std::fprintf(stderr, "%s", prompt.c_str());
    std::optional<std::string> line = plat::readInputLine(!fromStdin);
    if (!line) {
        why = "no password on standard input";
        return std::nullopt;
    }
    if (!ctl::checkPassword(*line, why)) return std::nullopt;
    return line;
}

// Asks the user on the terminal; false without one.
bool confirmed(const char* question) {
    if (!plat::stdinIsTerminal()) return false;
    std::fprintf(stderr, "%s [y/N] ", question);
    std::optional<std::string> line = plat::readInputLine(false, 100);
    return line && (*line == "y" || *line == "Y" || *line == "yes");
}

const char* securityWord(std::uint32_t s) {
    return s == 0 ? "none" : s == 1 ? "starttls" : s == 2 ? "tls" : "?";
}

void printServer(const char* label, const std::string& protocol, const std::string& host, std::uint32_t port,
                 std::uint32_t security, const std::string& user) {
    std::printf("  %-9s %s %s port %u, %s, user %s\n", label, protocol.c_str(), host.c_str(), port,
                securityWord(security), user.c_str());
}

void printClientSettings(const std::string& title, bool oauth) {
    LocalPorts ports = currentLocalPorts();
    std::printf("Give your e-mail program:\n");
    std::printf("  incoming mail (POP3): server 127.0.0.1, port %d, user name %s, password: %s\n", ports.pop3,
                title.c_str(), oauth ? "the local password you gave" : "the password you gave");
    std::printf("  outgoing mail (SMTP): server 127.0.0.1, port %d, no authentication\n", ports.smtp);
}

// ---- account add

// The OAuth 2.0 sign-in an account is given: a preset's, or the one its provider's settings
// file names.
struct SignInWith {
    std::string name;
    std::string authUrl;
    std::string tokenUrl;
    std::string scope;
};

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

struct Incoming {
    std::string protocol = "pop3";
    std::string server;
    std::uint32_t port = 0;
    std::uint32_t security = 0;
    std::string user;
};

// The title an address gives when none is asked for: its local part without a tag, the
// characters a title may not hold made "-".
std::string titleFromAddress(const autoconfig::MailAddress& address) {
    std::string title = address.withoutTag();
    for (char& c : title)
        if (c == ' ' || c == '@' || c == '?' || c == '*' || c == '\\') c = '-';
    return title;
}

int add(const std::vector<std::string>& args) {
    Options o;
    std::string why;
    if (!parseOptions(args,
                      {"--title", "--protocol", "--server", "--port", "--security", "--user", "--oauth", "--client-id",
                       "--leave"},
                      {"--password-stdin", "--yes", "--no-lookup"}, o, why))
        return refuse(why);
    if (o.words.size() != 1) return refuse("account add takes one address");
    autoconfig::MailAddress address;
    if (!autoconfig::parseAddress(o.words[0], address, why)) return refuse(why);

    // Every value given is checked before anything is looked up or written.
    std::uint32_t protocol = 0, port = 0, security = 0, leave = 0, days = 0;
    std::string server, user, title;
    if (const std::string* v = o.get("--protocol"); v && !ctl::parseProtocol(*v, protocol, why)) return refuse(why);
    if (const std::string* v = o.get("--port"); v && !ctl::parsePort(*v, "port", port, why)) return refuse(why);
    if (const std::string* v = o.get("--security"); v && !ctl::parseSecurity(*v, "security", security, why))
        return refuse(why);
    if (const std::string* v = o.get("--leave"); v && !ctl::parseLeave(*v, leave, days, why)) return refuse(why);
    if (const std::string* v = o.get("--server")) {
        server = *v;
        if (!ctl::checkServer(server, "server", why)) return refuse(why);
    }
    if (const std::string* v = o.get("--user"); v && !ctl::checkUser(user = *v, "user", why)) return refuse(why);
    // --oauth names a preset, or the sign-in the provider's settings file names (known only once
    // it has been looked up).
    std::optional<SignInWith> signIn;
    if (const std::string* v = o.get("--oauth")) {
        if (const config::OAuthPreset* preset = config::findOAuthPreset(*v))
            signIn = SignInWith{preset->name, preset->authUrl, preset->tokenUrl, preset->scope};
        else if (o.flag("--no-lookup") || o.get("--server"))
            return refuse("OAuth preset '" + *v + "' is not known: give one of " + config::oauthPresetNames());
        if (!o.get("--client-id") || o.get("--client-id")->empty())
            return refuse("--oauth needs --client-id (the client id you registered with the provider)");
        if (!ctl::checkText(*o.get("--client-id"), "client id", why)) return refuse(why);
    } else if (o.get("--client-id")) {
        return refuse("--client-id is used with --oauth");
    }
    title = o.get("--title") ? *o.get("--title") : titleFromAddress(address);
    if (!ctl::checkTitle(title, why)) return refuse(why);
    plat::RegKey accounts, existing;
    if (openAccounts(accounts) &&
        plat::regOpenSubKey(accounts, title, plat::KeyAccess::Read, existing) == plat::RegStatus::Ok)
        return refuse("an account titled '" + title + "' exists already: give another with --title");

    // The look-up, unless the server was given.
    autoconfig::Discovery found;
    if (server.empty()) {
        std::printf("Looking up the settings of %s:\n", address.text().c_str());
        autoconfig::LookupOptions options = autoconfig::lookupOptions(config::readSetting(config::kCaFile));
        autoconfig::NetworkHttps https(options.http);
        autoconfig::NetworkDns dns(options.dns);
        // --no-lookup: the table shipped with the program only, nothing asked on the network.
        bool network = !o.flag("--no-lookup");
        found = autoconfig::discover(address,
                                     {network ? &https : nullptr, network ? &dns : nullptr, autoconfig::systemRandom});
        for (const std::string& line : found.trail) std::printf("  %s\n", line.c_str());
    }
    Incoming in;
    if (o.get("--protocol")) in.protocol = protocol == config::kProtocolImap ? "imap" : "pop3";
    if (found.found) {
        const autoconfig::ServerSettings* s = nullptr;
        if (o.get("--protocol")) {
            s = found.settings.firstIncoming(protocol == config::kProtocolImap ? autoconfig::Protocol::Imap
                                                                               : autoconfig::Protocol::Pop3);
            if (!s) return failed(found.settings.provider + " offers no " + in.protocol + " server: give --server");
        } else {
            s = found.settings.firstIncoming(autoconfig::Protocol::Pop3);
            if (!s) s = found.settings.firstIncoming(autoconfig::Protocol::Imap);
        }
        in.protocol = autoconfig::protocolName(s->protocol);
        in.server = s->host;
        in.port = s->port;
        in.security = static_cast<std::uint32_t>(s->security);
        in.user = s->user;
    } else if (server.empty()) {
        return failed("no settings found for " + address.domain +
                      ": give --server (with --port, --security and --user as your provider says)");
    }
    const autoconfig::OAuthEndpoints& offered = found.settings.oauthEndpoints;
    if (o.get("--oauth") && !signIn) {
        if (!found.found || offered.empty() || lowered(offered.name) != lowered(*o.get("--oauth")))
            return refuse("OAuth preset '" + *o.get("--oauth") + "' is not known: give one of " +
                          config::oauthPresetNames() + (offered.empty() ? "" : " or " + offered.name));
        signIn = SignInWith{offered.name, offered.authUrl, offered.tokenUrl, offered.scope};
    }
    if (!server.empty()) in.server = server;
    if (o.get("--security")) {
        if (in.security != security && !o.get("--port")) in.port = 0;
        in.security = security;
    } else if (!found.found) {
        in.security = 2;  // TLS unless told otherwise: every provider offers it
    }
    if (o.get("--port")) in.port = port;
    if (in.port == 0) in.port = ctl::usualPort(in.protocol, in.security);
    if (!user.empty()) in.user = user;
    if (in.user.empty()) in.user = address.text();
    if (!ctl::checkUser(in.user, "user", why)) return refuse(why);

    // What will be written, for the user to confirm.
    std::printf("Account %s for %s%s:\n", title.c_str(), address.text().c_str(),
                found.found ? (" (" + found.settings.provider + ", from " + found.settings.source + ")").c_str() : "");
    printServer("incoming", in.protocol, in.server, in.port, in.security, in.user);
    const autoconfig::ServerSettings* out = found.found && !found.settings.outgoing.empty()
                                                ? &found.settings.outgoing[0]
                                                : nullptr;
    if (out)
        printServer("outgoing", "smtp", out->host, out->port, static_cast<std::uint32_t>(out->security), out->user);
    bool oauth = signIn.has_value();
    if (oauth)
        std::printf("  sign-in   OAuth 2.0 (%s), client id %s\n", signIn->name.c_str(), o.get("--client-id")->c_str());
    else if (found.found && !found.settings.oauthPreset.empty())
        std::printf("  sign-in   password (OAuth 2.0 is offered: --oauth %s --client-id ID)\n",
                    found.settings.oauthPreset.c_str());
    else if (found.found && !offered.empty())
        std::printf("  sign-in   password (OAuth 2.0 is offered: --oauth %s --client-id ID)\n", offered.name.c_str());
    if (o.get("--leave")) std::printf("  leave     %s\n", o.get("--leave")->c_str());
    if (found.found && !found.settings.note.empty()) std::printf("  note      %s\n", found.settings.note.c_str());
    std::fflush(stdout);

    std::optional<std::string> password = readPassword(
        o.flag("--password-stdin"),
        oauth ? "Password your e-mail program will log in to the gateway with: "
              : "Password of " + in.user + " at " + in.server + ": ",
        why);
    if (!password) return refuse(why);
    if (found.found && !o.flag("--yes") && !confirmed("Add this account?")) {
        std::fprintf(stderr, "trawlexctl: nothing written%s\n",
                     plat::stdinIsTerminal() ? "" : " (settings that were looked up are written with --yes)");
        return kExitDeclined;
    }

    // As the wizard's Finish writes it.
    enterDataDirectory();
    if (!config::openAccountsKey(accounts)) return failed("the accounts key cannot be made in user.reg");
    config::NewAccount a;
    a.title = title;
    a.server = in.server;
    a.port = in.port;
    a.user = in.user;
    a.pass = oauth ? std::string() : *password;
    a.security = in.security;
    if (!config::createAccount(accounts, a))
        return failed(
            "the account could not be created in user.reg (is user.reg readable, the title new and the "
            "user name free of '/'?)");
    bool ok = config::writeAccountString(accounts, title, config::kEmailAddressValue, address.text());
    if (o.get("--protocol") || in.protocol == "imap")
        ok = ok && config::writeAccountDword(accounts, title, config::kProtocolValue,
                                             in.protocol == "imap" ? config::kProtocolImap : config::kProtocolPop3);
    if (o.get("--leave")) {
        ok = ok && config::writeAccountDword(accounts, title, config::kLeaveMailValue, leave);
        if (leave == 2) ok = ok && config::writeAccountDword(accounts, title, config::kLeaveDaysValue, days);
    }
    if (oauth) {
        config::OAuthSettings s;
        s.auth = config::kAuthOAuth;
        s.authUrl = signIn->authUrl;
        s.tokenUrl = signIn->tokenUrl;
        s.scope = signIn->scope;
        s.clientId = *o.get("--client-id");
        ok = ok && config::writeOAuthSettings(title, s) &&
             config::writeSecretFromEditing(title, plat::SecretKind::LocalPass, *password);
    } else {
        ok = ok && config::writeSecretFromEditing(title, plat::SecretKind::Password, *password);
    }
    if (!ok)
        return failed("the account " + title +
                      " was created, but not all of its values could be written: see "
                      "trawlexctl account show " +
                      title);
    std::printf("Account %s added.\n", title.c_str());

    // The outgoing host: set from what was found when none is set yet.
    std::string outHost = config::readSetting(config::kOutHostName);
    if (out && outHost.empty()) {
        bool outOk = config::writeSetting(config::kOutHostName, out->host) && config::writeOutHostPort(out->port) &&
                     config::writeSetting(config::kOutHostSecurity, static_cast<std::uint32_t>(out->security)) &&
                     config::writeSetting(config::kOutHostUser, out->user);
        if (outOk && oauth) {
            config::OAuthSettings s = config::readOAuthSettings(title);
            outOk = config::writeOAuthSettings(config::kOutgoingTarget, s);
        } else if (outOk) {
            outOk = config::writeSecretFromEditing(config::kOutgoingTarget, plat::SecretKind::Password, *password);
        }
        if (!outOk) return failed("the outgoing host could not be written");
        std::printf("Outgoing mail goes to %s port %u (it was not set yet).\n", out->host.c_str(), out->port);
    } else if (out) {
        std::printf(
            "Outgoing mail still goes to %s. To send this account's mail through %s instead:\n"
            "  trawlexctl outgoing set --account %s --server %s --port %u --security %s --user %s "
            "--addresses %s --password-stdin\n",
            outHost.c_str(), out->host.c_str(), title.c_str(), out->host.c_str(), out->port,
            securityWord(static_cast<std::uint32_t>(out->security)), out->user.c_str(), address.text().c_str());
    } else if (outHost.empty()) {
        std::printf("No outgoing host is set: set one with trawlexctl outgoing set --server HOST ...\n");
    }
    printClientSettings(title, oauth);
    if (oauth) std::printf("Then sign in once: trawlexctl authorize %s\n", title.c_str());
    std::printf("Check the server with: trawlexctl probe %s --login\n", title.c_str());
    return 0;
}

// ---- account list, show

int findOrRefuse(const plat::RegKey& accounts, const std::string& title, int& index) {
    index = accounts.isOpen() ? config::findAccount(accounts, title) : -1;
    if (index >= 0) return 0;
    return refuse("no account titled '" + title + "' (trawlexctl account list shows them)");
}

// The account titled title (exactly, case included): its index and its key's name; 0, or the
// exit status of the refusal.
int findAccountNamed(const std::string& title, plat::RegKey& accounts, int& index, std::string& name) {
    openAccounts(accounts);
    if (int rc = findOrRefuse(accounts, title, index)) return rc;
    config::accountTitle(accounts, index, name);
    return 0;
}

std::uint32_t dwordOr(const plat::RegKey& accounts, int index, const char* name, std::uint32_t fallback) {
    return config::accountDword(accounts, index, name).value_or(fallback);
}

int list() {
    plat::RegKey accounts;
    if (!openAccounts(accounts)) return 0;
    std::string title;
    for (int i = 0; config::accountTitle(accounts, i, title); ++i) {
        std::uint32_t protocol = dwordOr(accounts, i, config::kProtocolValue, 0);
        std::printf("%s\t%s\t%s:%u\t%s\t%s\n", title.c_str(), protocol == config::kProtocolImap ? "imap" : "pop3",
                    config::accountString(accounts, i, config::kServerValue).c_str(), dwordOr(accounts, i, "port", 110),
                    securityWord(dwordOr(accounts, i, "security", 0)),
                    config::accountString(accounts, i, config::kUserValue).c_str());
    }
    return 0;
}

// Where a secret is, never what it is.
std::string secretState(const std::string& title, plat::SecretKind kind) {
    config::SecretSource s = config::secretSource(title, kind);
    if (!s.registryValue.empty()) return "(set, in user.reg)";
    return s.inStore ? "(in the secret store)" : "(none)";
}

int show(const std::string& title) {
    plat::RegKey accounts;
    int index = -1;
    std::string name;
    if (int rc = findAccountNamed(title, accounts, index, name)) return rc;
    std::printf("title\t%s\n", name.c_str());
    auto text = [&](const char* value) {
        std::string v = config::accountString(accounts, index, value);
        if (!v.empty()) std::printf("%s\t%s\n", value, v.c_str());
    };
    auto dword = [&](const char* value, const char* (*word)(std::uint32_t)) {
        std::optional<std::uint32_t> v = config::accountDword(accounts, index, value);
        if (!v) return;
        if (word) std::printf("%s\t%s (%u)\n", value, word(*v), *v);
        else std::printf("%s\t%u\n", value, *v);
    };
    auto protocolWord = [](std::uint32_t v) { return v == 1 ? "imap" : v == 0 ? "pop3" : "?"; };
    auto leaveWord = [](std::uint32_t v) {
        return v == 0 ? "delete" : v == 1 ? "leave" : v == 2 ? "leave, then delete" : "?";
    };
    auto authWord = [](std::uint32_t v) { return v == 0 ? "password" : v == 1 ? "oauth" : "?"; };
    dword(config::kProtocolValue, protocolWord);
    text(config::kServerValue);
    dword("port", nullptr);
    dword("security", securityWord);
    text(config::kUserValue);
    std::printf("pass\t%s\n", secretState(name, plat::SecretKind::Password).c_str());
    dword(config::kAuthValue, authWord);
    if (dwordOr(accounts, index, config::kAuthValue, 0) == config::kAuthOAuth) {
        std::printf("localpass\t%s\n", secretState(name, plat::SecretKind::LocalPass).c_str());
        std::printf("oauthrefresh\t%s\n", secretState(name, plat::SecretKind::Refresh).c_str());
        for (const char* v : {config::kOAuthClientId, config::kOAuthAuthUrl, config::kOAuthTokenUrl}) text(v);
    }
    text(config::kImapFoldersValue);
    dword(config::kLeaveMailValue, leaveWord);
    dword(config::kLeaveDaysValue, nullptr);
    text(config::kMoveFolderValue);
    for (const char* v : {config::kSmtpServerValue}) text(v);
    dword(config::kSmtpPortValue, nullptr);
    dword(config::kSmtpSecurityValue, securityWord);
    text(config::kSmtpUserValue);
    if (!config::accountString(accounts, index, config::kSmtpServerValue).empty())
        std::printf("smtppass\t%s\n", secretState(name, plat::SecretKind::SmtpPass).c_str());
    dword(config::kSmtpAuthValue, authWord);
    for (const char* v :
         {config::kAddressesValue, config::kEmailAddressValue, config::kEmailIdentityValue, config::kClientNameValue,
          config::kClientFileValue, config::kUidlFileValue, config::kDestMailboxValue, config::kDropDirValue})
        text(v);
    if (std::optional<std::uint32_t> last = config::accountDword(accounts, index, config::kLastCheckValue)) {
        std::time_t t = static_cast<std::time_t>(*last);
        char when[64] = "";
        std::tm tm{};
        if (localtime_r(&t, &tm)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
        std::printf("lastcheck\t%s\n", when);
    }
    return 0;
}

// ---- account set

enum class Kind { Host, Port, Security, Protocol, Text, User, Leave, Days, Auth, Secret, Addresses };

struct Settable {
    const char* name;
    Kind kind;
};

constexpr Settable kSettable[] = {
    {"server", Kind::Host},        {"port", Kind::Port},
    {"security", Kind::Security},  {"user", Kind::User},
    {"pass", Kind::Secret},        {"localpass", Kind::Secret},
    {"protocol", Kind::Protocol},  {"imapfolders", Kind::Text},
    {"leavemail", Kind::Leave},    {"leavedays", Kind::Days},
    {"movefolder", Kind::Text},    {"auth", Kind::Auth},
    {"oauthclientid", Kind::Text}, {"emailaddress", Kind::Text},
    {"emailidentity", Kind::Text}, {"clientname", Kind::Text},
    {"clientfile", Kind::Text},    {"smtpserver", Kind::Host},
    {"smtpport", Kind::Port},      {"smtpsecurity", Kind::Security},
    {"smtpuser", Kind::User},      {"smtppass", Kind::Secret},
    {"smtpauth", Kind::Auth},      {"addresses", Kind::Addresses},
};

std::string settableNames() {
    std::string names;
    for (const Settable& s : kSettable) names += (names.empty() ? "" : " ") + std::string(s.name);
    return names;
}

int set(const std::string& title, const std::string& key, const std::string& value) {
    const Settable* what = nullptr;
    for (const Settable& s : kSettable)
        if (key == s.name) what = &s;
    if (!what) return refuse("'" + key + "' cannot be set here: give one of " + settableNames());
    plat::RegKey accounts;
    int index = -1;
    std::string name;
    if (int rc = findAccountNamed(title, accounts, index, name)) return rc;
    std::string why, text = value;
    std::uint32_t number = 0;
    bool isText = false, ok = true;
    switch (what->kind) {
    case Kind::Host:
        ok = ctl::checkServer(text, what->name, why);
        isText = true;
        break;
    case Kind::Port: ok = ctl::parsePort(value, what->name, number, why); break;
    case Kind::Security: ok = ctl::parseSecurity(value, what->name, number, why); break;
    case Kind::Protocol: ok = ctl::parseProtocol(value, number, why); break;
    case Kind::Text:
        ok = ctl::checkText(value, what->name, why);
        isText = true;
        break;
    case Kind::User:
        ok = ctl::checkUser(value, what->name, why);
        isText = true;
        break;
    case Kind::Auth: ok = ctl::parseAuth(value, what->name, number, why); break;
    case Kind::Addresses:
        ok = ctl::checkAddresses(text, why);
        isText = true;
        break;
    case Kind::Leave:
        ok = value == "no" || value == "0" || value == "yes" || value == "1" || value == "2";
        number = value == "yes" || value == "1" ? 1 : value == "2" ? 2 : 0;
        if (!ok)
            why = "leavemail '" + value +
                  "' is not allowed: give no (0), yes (1) or 2 (leave, then delete after leavedays)";
        break;
    case Kind::Days:
        ok = ctl::parsePort(value, what->name, number, why) && number <= 3650;
        if (!ok) why = "leavedays '" + value + "' is not allowed: give a number of days from 1 to 3650";
        break;
    case Kind::Secret: {
        if (value != "-")
            return refuse(std::string(what->name) +
                          " is read from standard input, so that it never shows "
                          "in the process list: give - as its value");
        std::optional<std::string> secret = readPassword(true, "", why);
        if (!secret) return refuse(why);
        plat::SecretKind kind = key == config::kPassValue       ? plat::SecretKind::Password
                                : key == config::kSmtpPassValue ? plat::SecretKind::SmtpPass
                                                                : plat::SecretKind::LocalPass;
        bool stored = config::writeSecretFromEditing(name, kind, *secret);
        if (!stored) return failed(std::string(what->name) + " of " + name + " could not be stored");
        std::printf("%s of %s stored\n", what->name, name.c_str());
        return 0;
    }
    }
    if (!ok) return refuse(why);
    bool stored = isText ? config::writeAccountString(accounts, name, what->name, text)
                         : config::writeAccountDword(accounts, name, what->name, number);
    if (!stored) return failed(std::string(what->name) + " of " + name + " could not be written to user.reg");
    std::printf("%s of %s set to %s\n", what->name, name.c_str(),
                isText ? text.c_str() : std::to_string(number).c_str());
    if (key == "server" || key == "user")
        std::printf("(the mailbox folder and the list of fetched messages keep their names: %s)\n",
                    config::accountString(accounts, index, config::kDestMailboxValue).c_str());
    return 0;
}

int remove(const std::string& title) {
    plat::RegKey accounts;
    int index = -1;
    std::string name;
    if (int rc = findAccountNamed(title, accounts, index, name)) return rc;
    std::string mailbox = config::accountString(accounts, index, config::kDestMailboxValue);
    bool inStore = config::secretsInStore(config::targetKeyPath(name));
    if (!config::openAccountsKey(accounts) || !config::deleteAccountKey(accounts, name))
        return failed("the account " + name + " could not be removed");
    if (inStore)
        for (plat::SecretKind kind : config::secretKinds(name)) plat::clearSecret(name, kind);
    std::printf("Account %s removed; its mailbox accounts/%s/ stays.\n", name.c_str(), mailbox.c_str());
    return 0;
}

// ---- outgoing set

int outgoingSet(const std::vector<std::string>& args) {
    Options o;
    std::string why;
    if (!parseOptions(
            args, {"--server", "--port", "--security", "--user", "--account", "--addresses", "--oauth", "--client-id"},
            {"--password-stdin"}, o, why))
        return refuse(why);
    if (o.words.size() != 1 || o.words[0] != "set") return refuse("usage: trawlexctl outgoing set [options]");
    if (o.values.empty() && o.flags.empty()) return refuse("outgoing set needs at least one option");
    std::string server, user, addresses;
    std::uint32_t port = 0, security = 0;
    if (const std::string* v = o.get("--server"); v && !ctl::checkServer(server = *v, "server", why))
        return refuse(why);
    if (const std::string* v = o.get("--port"); v && !ctl::parsePort(*v, "port", port, why)) return refuse(why);
    if (const std::string* v = o.get("--security"); v && !ctl::parseSecurity(*v, "security", security, why))
        return refuse(why);
    if (const std::string* v = o.get("--user"); v && !ctl::checkUser(user = *v, "user", why)) return refuse(why);
    if (const std::string* v = o.get("--addresses"); v && !ctl::checkAddresses(addresses = *v, why)) return refuse(why);
    const config::OAuthPreset* preset = nullptr;
    if (const std::string* v = o.get("--oauth")) {
        preset = config::findOAuthPreset(*v);
        if (!preset) return refuse("OAuth preset '" + *v + "' is not known: give one of " + config::oauthPresetNames());
        if (!o.get("--client-id") || !ctl::checkText(*o.get("--client-id"), "client id", why) ||
            o.get("--client-id")->empty())
            return refuse(why.empty() ? "--oauth needs --client-id" : why);
    }
    // A security without a port takes its usual one when the server is new.
    if (o.get("--security") && !o.get("--port") && o.get("--server")) port = ctl::usualPort("smtp", security);
    std::optional<std::string> password;
    if (o.flag("--password-stdin") && !(password = readPassword(true, "", why))) return refuse(why);

    const std::string* account = o.get("--account");
    bool ok = true;
    if (account) {
        plat::RegKey accounts;
        int index = -1;
        std::string name;
        if (int rc = findAccountNamed(*account, accounts, index, name)) return rc;
        if (o.get("--server")) ok = ok && config::writeAccountString(accounts, name, config::kSmtpServerValue, server);
        if (port) ok = ok && config::writeAccountDword(accounts, name, config::kSmtpPortValue, port);
        if (o.get("--security"))
            ok = ok && config::writeAccountDword(accounts, name, config::kSmtpSecurityValue, security);
        if (o.get("--user")) ok = ok && config::writeAccountString(accounts, name, config::kSmtpUserValue, user);
        if (password) ok = ok && config::writeSecretFromEditing(name, plat::SecretKind::SmtpPass, *password);
        if (o.get("--addresses"))
            ok = ok && config::writeAccountString(accounts, name, config::kAddressesValue, addresses);
        if (preset) ok = ok && config::writeAccountDword(accounts, name, config::kSmtpAuthValue, config::kAuthOAuth);
        if (!ok) return failed("the outgoing values of " + name + " could not be written to user.reg");
        std::printf("Outgoing values of %s written.\n", name.c_str());
        return 0;
    }
    if (o.get("--addresses")) return refuse("--addresses belongs to an account's outgoing server: give --account");
    if (o.get("--server")) ok = ok && config::writeSetting(config::kOutHostName, server);
    if (port) ok = ok && config::writeOutHostPort(port);
    if (o.get("--security")) ok = ok && config::writeSetting(config::kOutHostSecurity, security);
    if (o.get("--user")) ok = ok && config::writeSetting(config::kOutHostUser, user);
    if (password)
        ok = ok && config::writeSecretFromEditing(config::kOutgoingTarget, plat::SecretKind::Password, *password);
    if (preset) {
        config::OAuthSettings s = config::readOAuthSettings(config::kOutgoingTarget);
        s.auth = config::kAuthOAuth;
        s.authUrl = preset->authUrl;
        s.tokenUrl = preset->tokenUrl;
        s.scope = preset->scope;
        s.clientId = *o.get("--client-id");
        ok = ok && config::writeOAuthSettings(config::kOutgoingTarget, s);
    }
    if (!ok) return failed("the outgoing host could not be written to user.reg");
    if (!config::readOutHostPort())
        ok = config::writeOutHostPort(ctl::usualPort("smtp", config::readSetting(config::kOutHostSecurity)));
    std::printf("Outgoing host: %s port %u, %s%s%s\n", config::readSetting(config::kOutHostName).c_str(),
                config::readOutHostPort().value_or(0), securityWord(config::readSetting(config::kOutHostSecurity)),
                config::readSetting(config::kOutHostUser).empty() ? "" : ", user ",
                config::readSetting(config::kOutHostUser).c_str());
    if (preset) std::printf("Then sign in once: trawlexctl authorize outgoing\n");
    return ok ? 0 : kExitFailed;
}

}  // namespace

const char kAccountUsage[] =
    "usage: trawlexctl account add ADDRESS [--title T] [--protocol pop3|imap] [--server H] [--port N]\n"
    "                  [--security none|starttls|tls] [--user U] [--password-stdin]\n"
    "                  [--oauth PRESET --client-id ID] [--leave no|yes|DAYS] [--yes] [--no-lookup]\n"
    "       trawlexctl account list | show TITLE | set TITLE KEY VALUE | remove TITLE\n"
    "       trawlexctl outgoing set [--server H] [--port N] [--security none|starttls|tls] [--user U]\n"
    "                  [--password-stdin] [--oauth PRESET --client-id ID] [--account T --addresses A,B]\n";

int runAccount(const std::vector<std::string>& args) {
    if (args.empty()) return refuse(std::string("a command is missing\n") + kAccountUsage);
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "add") return add(rest);
    if (command == "list" && rest.empty()) return list();
    if (command == "show" && rest.size() == 1) return show(rest[0]);
    if (command == "set" && rest.size() == 3) return set(rest[0], rest[1], rest[2]);
    if (command == "remove" && rest.size() == 1) return remove(rest[0]);
    std::fputs(kAccountUsage, stderr);
    return kExitUsage;
}

int runOutgoing(const std::vector<std::string>& args) {
    return outgoingSet(args);
}
