#include "frontend/settings/check_words.h"

#include <QCoreApplication>

namespace check {
namespace {

using autoconfig::LoginFailure;
using autoconfig::Protocol;
using plat::CertificateTrouble;
using plat::ConnectFailure;

// Whether the failed step could not read or write because the server fell silent or went away.
bool silent(const autoconfig::ProbeReport& report) {
    switch (report.streamFailure) {
    case plat::StreamFailure::TimedOut:
    case plat::StreamFailure::Closed:
    case plat::StreamFailure::Broken: return true;
    case plat::StreamFailure::None:
    case plat::StreamFailure::LineTooLong:
    case plat::StreamFailure::Other: return false;
    }
    return false;
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QString protocolText(Protocol p) {
    switch (p) {
    case Protocol::Pop3: return QStringLiteral("POP3");
    case Protocol::Imap: return QStringLiteral("IMAP");
    case Protocol::Smtp: return QStringLiteral("SMTP");
    }
    return {};
}

// A server's own words, shortened, for the end of a sentence.
QString said(const std::string& detail) {
    QString s = q(detail).simplified();
    return s.size() > 200 ? s.left(200) + QChar(0x2026) : s;
}

bool asksForAppPassword(const std::string& note) {
    return note.find("app password") != std::string::npos || note.find("app-specific password") != std::string::npos;
}

}  // namespace

Trouble troubleOf(const autoconfig::ProbeReport& report) {
    const autoconfig::ProbeStep* failed = report.failedStep();
    if (!failed) return report.steps.empty() ? Trouble::Other : Trouble::None;
    const std::string& name = failed->name;
    if (name == "connect") {
        switch (report.connectFailure) {
        case ConnectFailure::NoSuchHost: return Trouble::NoSuchHost;
        case ConnectFailure::NameLookup: return Trouble::NameLookup;
        case ConnectFailure::Refused: return Trouble::Refused;
        case ConnectFailure::TimedOut: return Trouble::TimedOut;
        case ConnectFailure::Unreachable: return Trouble::Unreachable;
        case ConnectFailure::None:
        case ConnectFailure::Other: return Trouble::NotReached;
        }
    }
    if (name == "tls") {
        if (report.haveTls && report.tls.haveCertificate) {
            switch (report.tls.trouble) {
            case CertificateTrouble::None: break;
            case CertificateTrouble::OtherName: return Trouble::CertificateOtherName;
            case CertificateTrouble::Expired: return Trouble::CertificateExpired;
            case CertificateTrouble::NotYetValid: return Trouble::CertificateNotYetValid;
            case CertificateTrouble::SelfSigned: return Trouble::CertificateSelfSigned;
            case CertificateTrouble::UnknownIssuer: return Trouble::CertificateUnknownIssuer;
            case CertificateTrouble::Revoked: return Trouble::CertificateRevoked;
            case CertificateTrouble::Other: return Trouble::CertificateOther;
            }
        }
        return Trouble::NoTls;
    }
    if (name == "starttls") return silent(report) ? Trouble::NoAnswer : Trouble::NoStartTls;
    if (name == "greeting") return silent(report) ? Trouble::NoAnswer : Trouble::NotThisProtocol;
    if (name == "login") {
        switch (report.loginFailure) {
        case LoginFailure::PasswordRefused: return Trouble::PasswordRefused;
        case LoginFailure::UserRefused: return Trouble::UserRefused;
        case LoginFailure::TokenRefused: return Trouble::TokenRefused;
        case LoginFailure::NoMechanism: return Trouble::NoLoginMechanism;
        case LoginFailure::Unencrypted: return Trouble::Unencrypted;
        case LoginFailure::None:
        case LoginFailure::Other: break;
        }
    }
    return silent(report) ? Trouble::NoAnswer : Trouble::Other;
}

const char* troubleName(Trouble trouble) {
    switch (trouble) {
    case Trouble::None: return "none";
    case Trouble::NoSuchHost: return "no-such-host";
    case Trouble::NameLookup: return "name-lookup";
    case Trouble::Refused: return "connection-refused";
    case Trouble::TimedOut: return "timed-out";
    case Trouble::Unreachable: return "unreachable";
    case Trouble::NotReached: return "not-reached";
    case Trouble::CertificateOtherName: return "certificate-other-name";
    case Trouble::CertificateExpired: return "certificate-expired";
    case Trouble::CertificateNotYetValid: return "certificate-not-yet-valid";
    case Trouble::CertificateSelfSigned: return "certificate-self-signed";
    case Trouble::CertificateUnknownIssuer: return "certificate-unknown-issuer";
    case Trouble::CertificateRevoked: return "certificate-revoked";
    case Trouble::CertificateOther: return "certificate-other";
    case Trouble::NoTls: return "no-tls";
    case Trouble::NoStartTls: return "no-starttls";
    case Trouble::NotThisProtocol: return "not-this-protocol";
    case Trouble::NoAnswer: return "no-answer";
    case Trouble::PasswordRefused: return "password-refused";
    case Trouble::UserRefused: return "user-refused";
    case Trouble::TokenRefused: return "token-refused";
    case Trouble::NoLoginMechanism: return "no-login-mechanism";
    case Trouble::Unencrypted: return "unencrypted";
    case Trouble::Other: return "other";
    }
    return "other";
}

std::string certificateName(const std::string& subject) {
    // RFC 2253: "CN=mail.example.net,O=Example"; a comma inside a value is escaped.
    for (std::size_t at = 0; at < subject.size();) {
        std::size_t end = at;
        while (end < subject.size() && subject[end] != ',') end += subject[end] == '\\' ? 2 : 1;
        std::string part = subject.substr(at, end - at);
        if (part.rfind("CN=", 0) == 0) return part.substr(3);
        at = end + 1;
    }
    return {};
}

QString failureWords(const autoconfig::ProbeReport& report, const autoconfig::ProbeTarget& target,
                     const std::string& providerNote) {
    const autoconfig::ProbeStep* failed = report.failedStep();
    QString host = q(target.host);
    QString port = QString::number(target.port);
    QString detail = failed ? said(failed->detail) : QString();
    switch (troubleOf(report)) {
    case Trouble::None: return {};
    case Trouble::NoSuchHost:
        return QCoreApplication::translate("CheckWords", "There is no server called %1. Check the server's name.")
            .arg(host);
    case Trouble::NameLookup:
        return QCoreApplication::translate("CheckWords",
                                           "The server's name %1 could not be looked up. Is this computer "
                                           "connected to the internet?")
            .arg(host);
    case Trouble::Refused:
        return QCoreApplication::translate("CheckWords",
                                           "%1 refused the connection on port %2. Check the port and the "
                                           "security your provider gives.")
            .arg(host, port);
    case Trouble::TimedOut:
        return QCoreApplication::translate("CheckWords",
                                           "%1 did not answer on port %2 in time. Check the port, and whether "
                                           "this computer is online.")
            .arg(host, port);
    case Trouble::Unreachable:
        return QCoreApplication::translate("CheckWords",
                                           "%1 cannot be reached from here. Is this computer connected to the "
                                           "internet?")
            .arg(host);
    case Trouble::NotReached:
        return QCoreApplication::translate("CheckWords", "%1 could not be reached on port %2 (%3).")
            .arg(host, port, detail);
    case Trouble::CertificateOtherName: {
        std::string other = certificateName(report.tls.subject);
        if (other.empty())
            return QCoreApplication::translate("CheckWords",
                                               "The certificate is for another name: it does not name %1. Check "
                                               "the server's name with your provider.")
                .arg(host);
        return QCoreApplication::translate("CheckWords",
                                           "The certificate is for another name: %1 showed a certificate for %2. "
                                           "Check the server's name with your provider.")
            .arg(host, q(other));
    }
    case Trouble::CertificateExpired:
        return QCoreApplication::translate("CheckWords",
                                           "The certificate of %1 has expired (%2). Your provider must renew it.")
            .arg(host, q(report.tls.notAfter));
    case Trouble::CertificateNotYetValid:
        return QCoreApplication::translate("CheckWords",
                                           "The certificate of %1 is not valid yet. Check this computer's date "
                                           "and time.")
            .arg(host);
    case Trouble::CertificateSelfSigned:
        return QCoreApplication::translate("CheckWords",
                                           "The certificate of %1 is not trusted: it is self-signed. If your "
                                           "provider gave you its certificate, name that file as the CA file in "
                                           "Options.")
            .arg(host);
    case Trouble::CertificateUnknownIssuer:
        return QCoreApplication::translate("CheckWords",
                                           "The certificate of %1 is not trusted: it was issued by an authority "
                                           "this computer does not know. If your provider gave you its "
                                           "certificate, name that file as the CA file in Options.")
            .arg(host);
    case Trouble::CertificateRevoked:
        return QCoreApplication::translate("CheckWords", "The certificate of %1 has been revoked.").arg(host);
    case Trouble::CertificateOther:
        return QCoreApplication::translate("CheckWords", "The certificate of %1 is not trusted (%2).")
            .arg(host, detail);
    case Trouble::NoTls:
        return QCoreApplication::translate("CheckWords",
                                           "No encrypted connection could be made with %1 on port %2 (%3). The port "
                                           "may expect STARTTLS or another security setting.")
            .arg(host, port, detail);
    case Trouble::NoStartTls:
        return QCoreApplication::translate("CheckWords",
                                           "%1 does not offer STARTTLS on port %2, so the connection would not be "
                                           "encrypted. Choose TLS or the port your provider gives.")
            .arg(host, port);
    case Trouble::NotThisProtocol:
        return QCoreApplication::translate("CheckWords",
                                           "%1 does not answer on port %2 as a %3 server does. Check the port and "
                                           "the security.")
            .arg(host, port, protocolText(target.protocol));
    case Trouble::NoAnswer:
        return QCoreApplication::translate("CheckWords", "%1 stopped answering during the check (%2).")
            .arg(host, detail);
    case Trouble::PasswordRefused: {
        QString words =
            QCoreApplication::translate("CheckWords", "The server refused the password for %1.").arg(q(target.user));
        if (asksForAppPassword(providerNote))
            return words + QLatin1Char(' ') +
                   QCoreApplication::translate("CheckWords", "This provider needs an app password: %1.")
                       .arg(q(providerNote));
        if (!providerNote.empty())
            return words + QLatin1Char(' ') +
                   QCoreApplication::translate("CheckWords", "Your provider says: %1.").arg(q(providerNote));
        return words + QLatin1Char(' ') +
               QCoreApplication::translate("CheckWords", "Check the user name and the password.");
    }
    case Trouble::UserRefused:
        return QCoreApplication::translate("CheckWords", "The server does not take the user name %1 (%2).")
            .arg(q(target.user), detail);
    case Trouble::TokenRefused:
        return QCoreApplication::translate("CheckWords",
                                           "The server refused the sign-in for %1. Sign in at the provider again.")
            .arg(q(target.user));
    case Trouble::NoLoginMechanism:
        return QCoreApplication::translate("CheckWords", "%1 offers no way of logging in that Tarnwick can use (%2).")
            .arg(host, detail);
    case Trouble::Unencrypted:
        return QCoreApplication::translate("CheckWords",
                                           "The log-in was not tried: the password would travel unencrypted to "
                                           "%1. Choose TLS or STARTTLS.")
            .arg(host);
    case Trouble::Other: break;
    }
    return QCoreApplication::translate("CheckWords", "The check of %1 failed at the step \"%2\" (%3).")
        .arg(host, failed ? q(failed->name) : QString(), detail);
}

QString successWords(const autoconfig::ProbeReport& report, const autoconfig::ProbeTarget& target, bool signInLater) {
    QString protection = report.haveTls && report.trusted
                             ? QCoreApplication::translate("CheckWords", "encrypted (%1), certificate trusted")
                                   .arg(q(report.tls.version))
                             : QCoreApplication::translate("CheckWords", "not encrypted");
    QString login;
    if (signInLater) login = QCoreApplication::translate("CheckWords", "the log-in with OAuth 2.0 is not tried here");
    else if (target.login)
        login = QCoreApplication::translate("CheckWords", "log-in accepted for %1").arg(q(target.user));
    else login = QCoreApplication::translate("CheckWords", "no log-in (no user name is set)");
    return QCoreApplication::translate("CheckWords", "All is well: %1; %2.").arg(protection, login);
}

}  // namespace check
