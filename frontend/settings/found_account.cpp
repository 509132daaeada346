#include "frontend/settings/found_account.h"

#include "config/account_values.h"
#include "config/settings.h"
#include "oauth/oauth_presets.h"
#include "oauth/oauth_settings.h"
#include "secrets/secret_moves.h"

#include <algorithm>
#include <cctype>

namespace found {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The provider's advice without what it says to trawlexctl's users ("(--oauth google)").
std::string noteForTheWizard(std::string note) {
    for (std::size_t at; (at = note.find(" (--oauth")) != std::string::npos;) {
        std::size_t end = note.find(')', at);
        note.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
    return note;
}

std::uint32_t stored(Security security) {
    return static_cast<std::uint32_t>(security);
}

}  // namespace

CurrentOutgoing currentOutgoing() {
    return {config::readSetting(config::kOutHostName), config::readOutHostPort().value_or(25)};
}

std::optional<Plan> planFor(const autoconfig::MailAddress& address, const autoconfig::Discovery& found,
                            const CurrentOutgoing& outgoing, std::optional<std::uint32_t> protocol) {
    using autoconfig::Protocol;
    if (!found.found) return std::nullopt;
    const autoconfig::ProviderSettings& s = found.settings;
    const autoconfig::ServerSettings* pop3 = s.firstIncoming(Protocol::Pop3);
    const autoconfig::ServerSettings* imap = s.firstIncoming(Protocol::Imap);
    const autoconfig::ServerSettings* in = protocol == config::kProtocolImap && imap ? imap : pop3 ? pop3 : imap;
    if (!in || in->host.empty() || in->port == 0) return std::nullopt;

    Plan plan;
    plan.address = address.text();
    plan.provider = s.provider;
    plan.source = s.source;
    plan.note = noteForTheWizard(s.note);
    plan.oauthPreset = s.oauthPreset;
    if (s.oauthPreset.empty()) plan.oauthEndpoints = s.oauthEndpoints;
    plan.oauthOnly = in->oauth && plan.signInOffered();
    plan.pop3Offered = pop3 != nullptr;
    plan.imapOffered = imap != nullptr;
    plan.protocol = in->protocol == Protocol::Imap ? config::kProtocolImap : config::kProtocolPop3;
    plan.server = lower(in->host);
    plan.port = in->port;
    plan.security = stored(in->security);
    plan.user = in->user.empty() ? address.text() : in->user;

    if (s.outgoing.empty() || s.outgoing.front().host.empty()) return plan;
    const autoconfig::ServerSettings& out = s.outgoing.front();
    plan.smtpServer = lower(out.host);
    plan.smtpPort = out.port ? out.port : 587;
    plan.smtpSecurity = stored(out.security);
    plan.smtpUser = out.user.empty() ? plan.user : out.user;
    if (outgoing.host.empty()) plan.outgoing = Outgoing::BecomesGlobal;
    else if (lower(outgoing.host) == plan.smtpServer && outgoing.port == plan.smtpPort)
        plan.outgoing = Outgoing::SameAsGlobal;
    else plan.outgoing = Outgoing::Own;
    return plan;
}

std::string titleFor(const autoconfig::MailAddress& address) {
    std::string title = address.withoutTag();
    for (char& c : title)
        if (c == ' ' || c == '@' || c == '?' || c == '*' || c == '\\') c = '-';
    return title;
}

Written writePlan(const Plan& plan, const std::string& title, const std::string& clientName,
                  const std::string& clientFile, const Login& login) {
    config::NewAccount a;
    a.title = title;
    a.server = plan.server;
    a.port = plan.port;
    a.security = plan.security;
    a.user = plan.user;
    a.pass = login.oauth ? std::string() : login.password;
    a.clientName = clientName;
    a.clientFile = clientFile;
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts) || !config::createAccount(accounts, a)) return Written::NotCreated;

    bool ok = config::writeAccountString(accounts, title, config::kEmailAddressValue, plan.address);
    // Absent reads as POP3, as every account made before IMAP reads.
    if (plan.protocol == config::kProtocolImap) {
        ok = config::writeAccountDword(accounts, title, config::kProtocolValue, config::kProtocolImap) && ok;
        // createAccount leaves out no security, which an IMAP account reads as TLS.
        if (plan.security == 0) ok = config::writeAccountDword(accounts, title, config::kSecurityValue, 0) && ok;
    }
    if (login.oauth) {
        // The sign-in (in the check, else after Finish) fills in the rest; the preset's
        // endpoints go in now, so that the account names its provider even before that.
        config::OAuthSettings o;
        o.auth = config::kAuthOAuth;
        o.clientId = login.clientId;
        if (const config::OAuthPreset* p = config::findOAuthPreset(plan.oauthPreset)) {
            o.authUrl = p->authUrl;
            o.tokenUrl = p->tokenUrl;
            o.scope = p->scope;
        } else {
            o.authUrl = plan.oauthEndpoints.authUrl;
            o.tokenUrl = plan.oauthEndpoints.tokenUrl;
            o.scope = plan.oauthEndpoints.scope;
        }
        ok = config::writeOAuthSettings(title, o) && ok;
        ok = config::writeSecretFromEditing(title, plat::SecretKind::LocalPass, login.password) && ok;
    } else {
        ok = config::writeSecretFromEditing(title, plat::SecretKind::Password, login.password) && ok;
    }

    switch (plan.outgoing) {
    case Outgoing::None:
    case Outgoing::SameAsGlobal: break;
    case Outgoing::Own:
        ok = config::writeAccountString(accounts, title, config::kSmtpServerValue, plan.smtpServer) && ok;
        ok = config::writeAccountDword(accounts, title, config::kSmtpPortValue, plan.smtpPort) && ok;
        ok = config::writeAccountDword(accounts, title, config::kSmtpSecurityValue, plan.smtpSecurity) && ok;
        ok = config::writeAccountString(accounts, title, config::kSmtpUserValue, plan.smtpUser) && ok;
        if (login.oauth)
            ok = config::writeAccountDword(accounts, title, config::kSmtpAuthValue, config::kAuthOAuth) && ok;
        else ok = config::writeSecretFromEditing(title, plat::SecretKind::SmtpPass, login.password) && ok;
        break;
    case Outgoing::BecomesGlobal:
        ok = config::writeSetting(config::kOutHostName, plan.smtpServer) && ok;
        ok = config::writeOutHostPort(plan.smtpPort) && ok;
        ok = config::writeSetting(config::kOutHostSecurity, plan.smtpSecurity) && ok;
        ok = config::writeSetting(config::kOutHostUser, plan.smtpUser) && ok;
        if (login.oauth)
            ok = config::writeOAuthSettings(config::kOutgoingTarget, config::readOAuthSettings(title)) && ok;
        else
            ok = config::writeSecretFromEditing(config::kOutgoingTarget, plat::SecretKind::Password, login.password) &&
                 ok;
        break;
    }
    return ok ? Written::Done : Written::Partly;
}

}  // namespace found
