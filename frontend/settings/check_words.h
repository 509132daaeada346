// The server check's outcome in plain words: what failed, said the way a user understands it,
// with what to do about it; or, when all went well, a short summary. No widgets: the wizard's
// check page shows these, and they are tested from hand-made reports.
#pragma once

#include "autoconfig/server_probe.h"

#include <QString>

#include <string>

namespace check {

// What went wrong, told apart from the report's failed step and its facts.
enum class Trouble {
    None,
    NoSuchHost,  // the name is not known
    NameLookup,  // the name could not be looked up at all (often: offline)
    Refused,  // nothing listens on the port
    TimedOut,
    Unreachable,  // no route: often offline
    NotReached,  // any other connect failure
    CertificateOtherName,
    CertificateExpired,
    CertificateNotYetValid,
    CertificateSelfSigned,
    CertificateUnknownIssuer,
    CertificateRevoked,
    CertificateOther,
    NoTls,  // the handshake failed without a certificate being refused
    NoStartTls,  // STARTTLS (STLS) refused
    NotThisProtocol,  // the greeting is not the protocol's
    NoAnswer,  // the server fell silent or closed the connection
    PasswordRefused,
    UserRefused,
    TokenRefused,
    NoLoginMechanism,
    Unencrypted,  // the log-in was not tried: the password would travel in plain text
    Other,
};

Trouble troubleOf(const autoconfig::ProbeReport& report);
// A short English name for the log: "password-refused", "certificate-other-name".
const char* troubleName(Trouble trouble);

// The host name a certificate's subject names (its CN), or empty.
std::string certificateName(const std::string& subject);

// The failure of a check of target in a sentence or two; providerNote is the provider's advice
// ("app password needed (...)"), said along with a refused password.
QString failureWords(const autoconfig::ProbeReport& report, const autoconfig::ProbeTarget& target,
                     const std::string& providerNote = {});

// A check that went well: how the connection is protected and whether the log-in was accepted.
// signInLater: the log-in uses an OAuth 2.0 sign-in the check has no token of: not tried.
QString successWords(const autoconfig::ProbeReport& report, const autoconfig::ProbeTarget& target,
                     bool signInLater = false);

}  // namespace check
