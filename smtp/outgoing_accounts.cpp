#include "smtp/outgoing_accounts.h"

#include "platform/registry.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_settings.h"

namespace outgoing {

std::uint32_t defaultPort(std::uint32_t security) {
    switch (security) {
    case 1: return 587;
    case 2: return 465;
    default: return 25;
    }
}

std::vector<AccountRoute> readAccountRoutes(const std::string& accountsKey) {
    std::vector<AccountRoute> routes;
    plat::RegKey accounts;
    if (plat::regOpenKey(plat::Hive::CurrentUser, accountsKey, plat::KeyAccess::Read, accounts) != plat::RegStatus::Ok)
        return routes;
    std::string title;
    for (int i = 0; config::accountTitle(accounts, i, title); ++i) {
        AccountRoute route;
        route.account = title;
        // Read whole: a list of addresses may pass the 199 characters of other account values.
        std::string addresses = config::readSecretValue(accountsKey + "\\" + title, config::kAddressesValue);
        if (addresses.empty()) addresses = config::accountString(accounts, i, "emailaddress");
        if (addresses.empty()) {
            std::string user = config::accountString(accounts, i, "user");
            if (user.find('@') != std::string::npos) addresses = user;
        }
        route.addresses = splitAddresses(addresses);
        route.server = config::accountString(accounts, i, config::kSmtpServerValue);
        route.security = config::accountDword(accounts, i, config::kSmtpSecurityValue).value_or(0);
        if (route.security > 2) route.security = 0;
        route.port = config::accountDword(accounts, i, config::kSmtpPortValue).value_or(defaultPort(route.security));
        route.oauth = config::accountDword(accounts, i, config::kSmtpAuthValue).value_or(0) == config::kAuthOAuth;
        route.user = config::accountString(accounts, i, config::kSmtpUserValue);
        if (route.user.empty() && route.oauth) route.user = config::accountString(accounts, i, "user");
        routes.push_back(std::move(route));
    }
    return routes;
}

}  // namespace outgoing
