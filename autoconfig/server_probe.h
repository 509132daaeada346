// A check of a mail server as an account would use it: connect, TLS (from the first byte or
// after STARTTLS/STLS), greeting, capabilities (POP3 CAPA, IMAP CAPABILITY, SMTP EHLO) and,
// when asked, the log-in; each step timed. The first step that fails ends the check, and the
// report says which and why. Blocking: for trawlexctl, or a thread of the front end.
#pragma once

#include "autoconfig/mail_settings.h"
#include "platform/line_stream.h"
#include "platform/tls_channel.h"

#include <string>
#include <vector>

namespace autoconfig {

struct ProbeTarget {
    Protocol protocol = Protocol::Pop3;
    std::string host;
    std::uint16_t port = 0;
    Security security = Security::Tls;
    std::string caFile;  // further trusted certificates, as the settings' "cafile"
    bool login = false;
    std::string user;
    std::string password;  // used only with login; never reported
    // With login: an OAuth 2.0 access token, sent by OAUTHBEARER or XOAUTH2 in place of the
    // password; never reported.
    std::string accessToken;
    int stepTimeoutMs = 15000;
};

struct ProbeStep {
    std::string name;  // "connect", "tls", "greeting", "capabilities", "starttls", "login"
    bool ok = false;
    std::string detail;  // what the server said or why the step failed
    long milliseconds = 0;
};

// Why the "login" step failed, apart from the words of its detail.
enum class LoginFailure {
    None,
    PasswordRefused,  // the server refused the user name and password together (PASS, LOGIN, AUTH)
    UserRefused,  // POP3: USER refused, before the password was sent
    TokenRefused,  // the OAuth 2.0 access token refused
    NoMechanism,  // the server offers no way of logging in the probe (and the engine) can use
    Unencrypted,  // not tried: the password would travel in plain text
    Other,  // anything else; streamFailure tells whether the connection was lost
};

struct ProbeReport {
    std::vector<ProbeStep> steps;
    bool haveTls = false;
    plat::TlsDetails tls;
    bool trusted = false;  // the certificate passed every check
    plat::ConnectFailure connectFailure = plat::ConnectFailure::None;  // when "connect" failed
    LoginFailure loginFailure = LoginFailure::None;  // when "login" failed
    // When a later step failed at reading, writing or the TLS handshake: the server fell
    // silent, went away or the connection broke (None when the server answered).
    plat::StreamFailure streamFailure = plat::StreamFailure::None;
    std::vector<std::string> capabilities;
    bool ok() const;  // every step succeeded
    const ProbeStep* failedStep() const;
};

ProbeReport probeServer(const ProbeTarget& target);

}  // namespace autoconfig
