#include "tools/ctl_probe.h"

#include "autoconfig/server_probe.h"
#include "config/account_values.h"
#include "platform/terminal.h"
#include "oauth/access_tokens.h"
#include "oauth/oauth_settings.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"
#include "secrets/secret_settings.h"
#include "tools/ctl_values.h"

#include <cstdio>

namespace {

constexpr int kExitStepFailed = 3;
constexpr int kExitUsage = 64;

int refuse(const std::string& why) {
    std::fprintf(stderr, "trawlexctl: %s\n", why.c_str());
    return kExitUsage;
}

const char kProbeUsage[] =
    "usage: trawlexctl probe TITLE|outgoing|HOST:PORT [--protocol pop3|imap|smtp]\n"
    "                  [--security none|starttls|tls] [--login] [--user U] [--password-stdin]\n"
    "                  [--timeout SECONDS]\n";

// A fresh access token for target's OAuth 2.0 sign-in, renewed with its refresh token as the
// engine renews it (a refresh token the provider rotates is kept). Empty, with why, when none
// was had; the renewal's own HIGH line says more.
std::string renewedAccessToken(const std::string& target, std::string& why) {
    oauth::TokenRenewal renewal;
    std::optional<oauth::RenewOutcome> outcome;
    renewal.start(target, config::readOAuthSettings(target), config::readSetting(config::kCaFile),
                  [&outcome](oauth::RenewOutcome o) { outcome = o; });
    long long deadline = plat::monotonicMs() + oauth::kTokenRequestLimitMs + 5000;
    while (!outcome && plat::monotonicMs() < deadline) plat::pumpMessages(100);
    std::string token = outcome == oauth::RenewOutcome::Renewed ? oauth::currentAccessToken(target) : "";
    if (!token.empty()) return token;
    why = outcome == oauth::RenewOutcome::SignInExpired
              ? "the sign-in of " + target + " has expired or was never made: trawlexctl authorize " + target
              : "no access token could be had for " + target;
    return {};
}

// What the port says when nothing else does: its protocol and its security.
void guessFromPort(std::uint32_t port, autoconfig::Protocol& protocol, Security& security) {
    switch (port) {
    case 995:
        protocol = autoconfig::Protocol::Pop3;
        security = Security::Tls;
        break;
    case 993:
        protocol = autoconfig::Protocol::Imap;
        security = Security::Tls;
        break;
    case 143:
        protocol = autoconfig::Protocol::Imap;
        security = Security::StartTls;
        break;
    case 465:
        protocol = autoconfig::Protocol::Smtp;
        security = Security::Tls;
        break;
    case 587:
    case 25:
        protocol = autoconfig::Protocol::Smtp;
        security = Security::StartTls;
        break;
    default:
        protocol = autoconfig::Protocol::Pop3;
        security = Security::StartTls;
        break;
    }
}

// What a server sent, made safe for a terminal: control characters (an escape sequence could
// rewrite the screen) shown as "?".
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

void print(const autoconfig::ProbeReport& report) {
    for (const autoconfig::ProbeStep& s : report.steps) {
        std::printf("%-13s %-4s %6ld ms  %s\n", s.name.c_str(), s.ok ? "ok" : "FAIL", s.milliseconds,
                    printable(s.detail).c_str());
        if (s.name == "tls" && report.haveTls && report.tls.haveCertificate) {
            const plat::TlsDetails& t = report.tls;
            std::printf("  certificate subject     %s\n", printable(t.subject).c_str());
            std::printf("  certificate issuer      %s\n", printable(t.issuer).c_str());
            std::printf("  certificate expires     %s\n", t.notAfter.c_str());
            std::printf("  certificate sha256      %s\n", t.fingerprint.c_str());
            std::printf("  certificate trusted     %s\n", report.trusted ? "yes" : "no");
        }
    }
}

}  // namespace

int runProbe(const std::vector<std::string>& args) {
    std::string target, why;
    std::string protocolWord, securityWord, user;
    bool login = false, passwordStdin = false;
    int timeoutMs = 15000;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--protocol" && hasValue) protocolWord = args[++i];
        else if (a == "--security" && hasValue) securityWord = args[++i];
        else if (a == "--user" && hasValue) user = args[++i];
        else if (a == "--timeout" && hasValue) {
            std::uint32_t seconds = 0;
            if (!ctl::parsePort(args[++i], "timeout", seconds, why) || seconds > 600)
                return refuse("timeout '" + args[i] + "' is not allowed: give seconds from 1 to 600");
            timeoutMs = static_cast<int>(seconds) * 1000;
        } else if (a == "--login") login = true;
        else if (a == "--password-stdin") passwordStdin = true;
        else if (a.rfind("--", 0) != 0 && target.empty()) target = a;
        else {
            std::fputs(kProbeUsage, stderr);
            return kExitUsage;
        }
    }
    if (target.empty()) {
        std::fputs(kProbeUsage, stderr);
        return kExitUsage;
    }

    autoconfig::ProbeTarget t;
    t.stepTimeoutMs = timeoutMs;
    t.login = login;
    t.caFile = config::readSetting(config::kCaFile);
    std::size_t colon = target.rfind(':');
    plat::RegKey accounts;
    int index = -1;
    bool isAccount = plat::regOpenKey(plat::Hive::CurrentUser, kAccountsKey, plat::KeyAccess::Read, accounts) ==
                         plat::RegStatus::Ok &&
                     (index = config::findAccount(accounts, target)) >= 0;
    std::string secretTarget;
    if (isAccount) {
        t.protocol = config::accountDword(accounts, index, config::kProtocolValue).value_or(0) == config::kProtocolImap
                         ? autoconfig::Protocol::Imap
                         : autoconfig::Protocol::Pop3;
        t.host = config::accountString(accounts, index, config::kServerValue);
        t.port = static_cast<std::uint16_t>(config::accountDword(accounts, index, config::kPortValue).value_or(110));
        t.security = securityFromSetting(config::accountDword(accounts, index, config::kSecurityValue).value_or(0));
        t.user = config::accountString(accounts, index, config::kUserValue);
        secretTarget = target;
    } else if (target == config::kOutgoingTarget) {
        t.protocol = autoconfig::Protocol::Smtp;
        t.host = config::readSetting(config::kOutHostName);
        t.port = static_cast<std::uint16_t>(config::readOutHostPort().value_or(25));
        t.security = securityFromSetting(config::readSetting(config::kOutHostSecurity));
        t.user = config::readSetting(config::kOutHostUser);
        if (t.host.empty()) return refuse("no outgoing host is set (trawlexctl outgoing set --server ...)");
        secretTarget = config::kOutgoingTarget;
    } else if (colon != std::string::npos && colon > 0) {
        t.host = target.substr(0, colon);
        std::uint32_t port = 0;
        if (!ctl::checkServer(t.host, "host", why) || !ctl::parsePort(target.substr(colon + 1), "port", port, why))
            return refuse(why);
        t.port = static_cast<std::uint16_t>(port);
        guessFromPort(port, t.protocol, t.security);
    } else {
        return refuse("'" + target + "' is neither an account title, \"outgoing\" nor HOST:PORT");
    }
    if (!protocolWord.empty()) {
        if (protocolWord == "pop3") t.protocol = autoconfig::Protocol::Pop3;
        else if (protocolWord == "imap") t.protocol = autoconfig::Protocol::Imap;
        else if (protocolWord == "smtp") t.protocol = autoconfig::Protocol::Smtp;
        else return refuse("protocol '" + protocolWord + "' is not allowed: give pop3, imap or smtp");
    }
    if (!securityWord.empty()) {
        std::uint32_t s = 0;
        if (!ctl::parseSecurity(securityWord, "security", s, why)) return refuse(why);
        t.security = securityFromSetting(s);
    }
    if (!user.empty()) t.user = user;
    if (login) {
        bool oauth = !secretTarget.empty() && config::readAuthMode(secretTarget) == config::kAuthOAuth;
        if (oauth && passwordStdin) return refuse(target + " signs in with OAuth 2.0: it takes no password");
        if (oauth) {
            t.accessToken = renewedAccessToken(secretTarget, why);
            if (t.accessToken.empty()) {
                std::fprintf(stderr, "trawlexctl: probe failed at sign-in: %s\n", why.c_str());
                return kExitStepFailed;
            }
        } else if (passwordStdin) {
            std::optional<std::string> line = plat::readInputLine(false);
            if (!line || line->empty()) return refuse("no password on standard input");
            t.password = *line;
        } else if (!secretTarget.empty()) {
            t.password = config::readSecretForEditing(secretTarget, plat::SecretKind::Password);
        }
        if (t.user.empty() || (t.password.empty() && t.accessToken.empty()))
            return refuse("--login needs a user name and a password (--user, --password-stdin)");
    }
    std::printf("probe %s %s:%u, %s\n", autoconfig::protocolName(t.protocol), t.host.c_str(), t.port,
                autoconfig::securityName(t.security));
    autoconfig::ProbeReport report = autoconfig::probeServer(t);
    print(report);
    std::fflush(stdout);
    if (const autoconfig::ProbeStep* failed = report.failedStep()) {
        std::fprintf(stderr, "trawlexctl: probe failed at %s: %s\n", failed->name.c_str(),
                     printable(failed->detail).c_str());
        return kExitStepFailed;
    }
    return 0;
}
