// What the wizard makes of the settings a look-up found for an address: the account's values
// (its retrieval server, protocol and log-in, its address) and where its outgoing mail goes,
// decided against the outgoing host already set; and the writing of them once the user agrees.
// No widgets: the wizard shows a plan and writes it.
#pragma once

#include "autoconfig/discovery.h"

#include <cstdint>
#include <optional>
#include <string>

namespace found {

// What becomes of the provider's SMTP server.
enum class Outgoing {
    None,  // none was found: the outgoing host stays as it is
    SameAsGlobal,  // it is the outgoing host already set: nothing to write
    BecomesGlobal,  // no outgoing host is set yet: it becomes the one for all mail
    Own,  // another host is set: the account sends its own mail through this one
};

struct Plan {
    std::string address;  // as the look-up spelled it (domain in lower case)
    std::string provider;  // a name to show
    std::string source;  // where the settings came from
    std::string note;  // the provider's advice ("app password needed"), or empty
    std::string oauthPreset;  // an OAuth 2.0 preset the provider has, or empty
    autoconfig::OAuthEndpoints oauthEndpoints;  // without a preset: those its settings file names
    bool oauthOnly = false;  // the provider refuses passwords: the sign-in is the way in
    bool imapOffered = false;  // whether the other protocol is there to choose
    bool pop3Offered = false;
    // The retrieval server.
    std::uint32_t protocol = 0;  // config::kProtocolPop3 or kProtocolImap
    std::string server;
    std::uint32_t port = 0;
    std::uint32_t security = 0;  // 0 plain, 1 STARTTLS, 2 TLS
    std::string user;
    // The provider's SMTP server and what to do with it.
    Outgoing outgoing = Outgoing::None;
    std::string smtpServer;
    std::uint32_t smtpPort = 0;
    std::uint32_t smtpSecurity = 0;
    std::string smtpUser;

    // Whether the provider's OAuth 2.0 sign-in is known, and its name to show.
    bool signInOffered() const { return !oauthPreset.empty() || !oauthEndpoints.empty(); }
    std::string signInName() const { return oauthPreset.empty() ? oauthEndpoints.name : oauthPreset; }
};

// The outgoing host set now ("outhostname", "outhostport").
struct CurrentOutgoing {
    std::string host;
    std::uint32_t port = 25;
};
CurrentOutgoing currentOutgoing();

// The plan for what was found, or none when nothing usable was (the manual pages then). POP3
// is taken where the provider offers it, unless protocol asks for IMAP (or POP3) and the
// provider offers that; a provider without POP3 gets IMAP.
std::optional<Plan> planFor(const autoconfig::MailAddress& address, const autoconfig::Discovery& found,
                            const CurrentOutgoing& outgoing, std::optional<std::uint32_t> protocol = std::nullopt);

// A title for the account made from the address: its local part without a "+tag", with the
// characters a title may not hold replaced by "-".
std::string titleFor(const autoconfig::MailAddress& address);

// How the account logs in to the provider.
struct Login {
    std::string password;  // the provider's; with OAuth 2.0 the local one the e-mail program uses
    bool oauth = false;  // then the sign-in follows Finish, with the preset and the client id
    std::string clientId;
};

// Writes the account as the manual pages would (the account with its mailbox directory, its
// address, protocol and secret) and the outgoing values the plan asks for: for Own the
// account's "smtp..." values (the same password, or "smtpauth" with OAuth 2.0), for
// BecomesGlobal the outgoing host's.
enum class Written {
    Done,
    Partly,  // the account exists, but a value after it could not be written (the log says which)
    NotCreated,  // the account could not be made; nothing was written
};
Written writePlan(const Plan& plan, const std::string& title, const std::string& clientName,
                  const std::string& clientFile, const Login& login);

}  // namespace found
