#include "frontend/settings/outgoing_values.h"

#include "frontend/settings/security_fields.h"
#include "frontend/settings/settings_model.h"
#include "oauth/oauth_settings.h"

namespace {

constexpr config::StringSetting kServer{config::kSmtpServerValue, ""};
constexpr config::DwordSetting kSecurity{config::kSmtpSecurityValue, kSecurityNone};
constexpr config::StringSetting kUser{config::kSmtpUserValue, ""};
constexpr config::StringSetting kPass{config::kSmtpPassValue, ""};
constexpr config::DwordSetting kAuth{config::kSmtpAuthValue, config::kAuthPassword};
constexpr config::StringSetting kAddresses{config::kAddressesValue, ""};

}  // namespace

unsigned outgoingPort(std::uint32_t security) {
    return proposedPort(MailService::Smtp, security);
}

std::vector<std::string> addressWords(const std::string& list) {
    std::vector<std::string> words;
    std::string word;
    for (char c : list + ' ') {
        if (c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

std::string joinedAddresses(const std::string& list) {
    std::string out;
    for (const std::string& w : addressWords(list)) out += (out.empty() ? "" : ", ") + w;
    return out;
}

OutgoingValues OutgoingValues::read(const SettingsModel& model) {
    OutgoingValues v;
    v.server = model.text(kServer);
    v.security = model.number(kSecurity);
    if (v.security > kSecurityTls) v.security = kSecurityNone;
    v.port = model.number(config::DwordSetting{config::kSmtpPortValue, outgoingPort(v.security)});
    v.user = model.text(kUser);
    v.password = model.text(kPass);
    v.oauth = model.number(kAuth) == config::kAuthOAuth;
    v.addresses = model.text(kAddresses);
    return v;
}

void OutgoingValues::write(SettingsModel& model, const OutgoingValues& before) const {
    if (server != before.server) model.setText(kServer, server);
    // The addresses claim the account's mail for it with either server.
    if (addresses != before.addresses) model.setText(kAddresses, addresses);
    if (!ownServer()) return;
    // The port is written with a new security too: read back alone it would follow the
    // security to its usual port, not stay the one shown.
    if (port != before.port || security != before.security)
        model.setNumber(config::DwordSetting{config::kSmtpPortValue, 0}, port);
    if (security != before.security) model.setNumber(kSecurity, security);
    if (user != before.user) model.setText(kUser, user);
    if (password != before.password) model.setText(kPass, password);
    if (oauth != before.oauth) model.setNumber(kAuth, oauth ? config::kAuthOAuth : config::kAuthPassword);
}
