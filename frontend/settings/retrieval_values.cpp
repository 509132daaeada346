#include "frontend/settings/retrieval_values.h"

#include "frontend/settings/security_fields.h"
#include "frontend/settings/settings_model.h"

namespace {

constexpr config::DwordSetting kProtocol{config::kProtocolValue, config::kProtocolPop3};
constexpr config::StringSetting kFolders{config::kImapFoldersValue, ""};
constexpr config::DwordSetting kLeaveMail{config::kLeaveMailValue, config::kLeaveMailDelete};
constexpr config::DwordSetting kLeaveDays{config::kLeaveDaysValue, 0};
constexpr config::StringSetting kMoveFolder{config::kMoveFolderValue, ""};
// For POP3 an absent port is 110 and an absent security none; for IMAP see below.
constexpr config::DwordSetting kPort{config::kPortValue, 110};
constexpr config::DwordSetting kSecurity{config::kSecurityValue, kSecurityNone};

// "security" and "port" with what the engine reads when they are absent from an account of
// protocol: IMAP defaults to TLS, and to the port of the security.
config::DwordSetting securitySetting(std::uint32_t protocol) {
    return protocol == config::kProtocolImap ? config::DwordSetting{kSecurity.name, defaultSecurity(protocol)}
                                             : kSecurity;
}
config::DwordSetting portSetting(const SettingsModel& model, std::uint32_t protocol) {
    if (protocol != config::kProtocolImap) return kPort;
    return {kPort.name, retrievalPort(protocol, shownSecurity(model.number(securitySetting(protocol))))};
}

}  // namespace

std::uint32_t defaultSecurity(std::uint32_t protocol) {
    return protocol == config::kProtocolImap ? kSecurityTls : kSecurityNone;
}

unsigned retrievalPort(std::uint32_t protocol, std::uint32_t security) {
    return proposedPort(protocol == config::kProtocolImap ? MailService::Imap : MailService::Pop3, security);
}

std::uint32_t storedSecurity(const SettingsModel& model, std::uint32_t protocol) {
    return model.number(securitySetting(protocol));
}

unsigned storedPort(const SettingsModel& model, std::uint32_t protocol) {
    return model.number(portSetting(model, protocol));
}

void writePortAndSecurity(SettingsModel& model, std::uint32_t protocol, unsigned port, std::uint32_t security) {
    // The port first: it is compared with the one that follows the security stored before.
    if (port != storedPort(model, protocol)) model.setNumber(kPort, port);
    if (security != shownSecurity(storedSecurity(model, protocol))) model.setNumber(kSecurity, security);
}

RetrievalValues RetrievalValues::read(const SettingsModel& model) {
    RetrievalValues v;
    v.protocol = model.number(kProtocol) == config::kProtocolImap ? config::kProtocolImap : config::kProtocolPop3;
    v.folders = model.text(kFolders);
    if (v.folders.empty()) v.folders = config::kDefaultImapFolders;
    v.leaveMail = model.number(kLeaveMail);
    if (v.leaveMail > config::kLeaveMailForDays) v.leaveMail = config::kLeaveMailDelete;
    v.leaveDays = model.number(kLeaveDays);
    v.moveFolder = model.text(kMoveFolder);
    return v;
}

void RetrievalValues::write(SettingsModel& model, const RetrievalValues& before) const {
    if (protocol != before.protocol) model.setNumber(kProtocol, protocol);
    if (folders != before.folders) model.setText(kFolders, folders);
    if (leaveMail != before.leaveMail) model.setNumber(kLeaveMail, leaveMail);
    // Days count only for "leave, then delete"; the engine reads none as 0, at once.
    if (leaveMail == config::kLeaveMailForDays && leaveDays != before.leaveDays) model.setNumber(kLeaveDays, leaveDays);
    if (moveFolder != before.moveFolder) model.setText(kMoveFolder, moveFolder);
}
