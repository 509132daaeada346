// Where an account's outgoing mail goes, as the engine reads it from the account's key: the
// global outgoing host, or a server of the account's own with its port, security and log-in
// (a password, or the account's OAuth 2.0 sign-in), and the envelope senders the account
// sends for. No widgets: the account sheet and the wizard fill their fields from these values
// and put them back.
#pragma once

#include "config/account_values.h"

#include <cstdint>
#include <string>
#include <vector>

class SettingsModel;

struct OutgoingValues {
    std::string server;  // empty: the global outgoing host
    std::uint32_t port = 25;
    std::uint32_t security = 0;  // 0 none, 1 STARTTLS, 2 TLS
    std::string user;
    std::string password;  // "smtppass", from the secret store when the account's secrets are there
    bool oauth = false;  // "smtpauth": the account's own OAuth 2.0 sign-in
    std::string addresses;  // as stored; empty: the account's e-mail address

    bool ownServer() const { return !server.empty(); }

    // The values as the engine reads them: an unknown security is none, no port is the usual
    // one of the security.
    static OutgoingValues read(const SettingsModel& model);
    // Sets in model each value that differs from before (what read() answered). A choice of
    // the global host empties "smtpserver" alone: the rest waits for the next change of mind.
    void write(SettingsModel& model, const OutgoingValues& before) const;
    bool operator==(const OutgoingValues&) const = default;
};

// The usual port of an outgoing server with that security: 25, 587, 465.
unsigned outgoingPort(std::uint32_t security);

// The words of an address list as the engine splits it (blanks, commas, semicolons), and
// the list as it is stored: the words joined by ", ".
std::vector<std::string> addressWords(const std::string& list);
std::string joinedAddresses(const std::string& list);
