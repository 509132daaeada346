// Reading the accounts' own outgoing hosts from the registry (the values are described beside
// kSmtpServerValue in config/settings.h).
#pragma once

#include "config/settings_keys.h"
#include "smtp/outgoing_routes.h"

#include <string>
#include <vector>

namespace outgoing {

// The default port of a security setting: 25 plain, 587 STARTTLS, 465 TLS from the first byte.
std::uint32_t defaultPort(std::uint32_t security);

// Every account's route, in the order of the accounts (by title, without regard to case). An
// account without "addresses" sends for its "emailaddress", or for its "user" when that is an
// address; an account with none of these claims nothing. With "smtpauth" 1 and no "smtpuser",
// the log-in is the account's "user".
std::vector<AccountRoute> readAccountRoutes(const std::string& accountsKey = kAccountsKey);

}  // namespace outgoing
