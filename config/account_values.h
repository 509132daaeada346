// Account values beyond the POP3 account's own (server, port, security, user, pass, ...): how
// the account fetches its mail and where its outgoing mail goes. Each sits in the account's
// key; an absent one reads as the default named here.
#pragma once

#include <cstdint>

namespace config {

// 0 POP3 (default), 1 IMAP.
inline constexpr char kProtocolValue[] = "protocol";
inline constexpr std::uint32_t kProtocolPop3 = 0;
inline constexpr std::uint32_t kProtocolImap = 1;
// IMAP folders to fetch, default "INBOX".
inline constexpr char kImapFoldersValue[] = "imapfolders";
// 0 delete after fetching (default), 1 leave on the server, 2 leave, then delete after
// "leavedays" days.
inline constexpr char kLeaveMailValue[] = "leavemail";
inline constexpr char kLeaveDaysValue[] = "leavedays";
// IMAP: the folder fetched messages are moved to instead of being deleted.
inline constexpr char kMoveFolderValue[] = "movefolder";

// The account's own outgoing server, for mail sent from its "addresses".
inline constexpr char kSmtpServerValue[] = "smtpserver";
inline constexpr char kSmtpPortValue[] = "smtpport";
inline constexpr char kSmtpSecurityValue[] = "smtpsecurity";
inline constexpr char kSmtpUserValue[] = "smtpuser";
inline constexpr char kSmtpPassValue[] = "smtppass";
inline constexpr char kSmtpAuthValue[] = "smtpauth";
inline constexpr char kAddressesValue[] = "addresses";

}  // namespace config
