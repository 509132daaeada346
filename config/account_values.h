// The names of an account's values, each in the account's key: the POP3 account's own, then
// how the account fetches its mail and where its outgoing mail goes. An absent value reads as
// the default named here.
#pragma once

#include <cstdint>

namespace config {

// The provider's server, its port (110 when absent), 0 plain / 1 STARTTLS / 2 TLS, the log-in.
inline constexpr char kServerValue[] = "server";
inline constexpr char kPortValue[] = "port";
inline constexpr char kSecurityValue[] = "security";
inline constexpr char kUserValue[] = "user";
inline constexpr char kPassValue[] = "pass";
// Where the account's mail is kept: its identifier file, its mailbox and the folder new items
// are dropped into, and when it was last checked (seconds since 1970).
inline constexpr char kUidlFileValue[] = "uidlfile";
inline constexpr char kDestMailboxValue[] = "destmailbox";
inline constexpr char kDropDirValue[] = "dropdir";
inline constexpr char kLastCheckValue[] = "lastcheck";
// The e-mail program the account is read with, and the identity it sends as.
inline constexpr char kClientNameValue[] = "clientname";
inline constexpr char kClientFileValue[] = "clientfile";
inline constexpr char kEmailAddressValue[] = "emailaddress";
inline constexpr char kEmailIdentityValue[] = "emailidentity";

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
