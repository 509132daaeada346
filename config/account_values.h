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

// An account's retrieval protocol and what becomes of its fetched mail.
inline constexpr char kProtocolValue[] = "protocol";  // dword: kProtocolPop3, kProtocolImap
inline constexpr char kImapFoldersValue[] = "imapfolders";  // folders separated by ","; "ALL": every one
inline constexpr char kLeaveMailValue[] = "leavemail";  // dword: kLeaveMailDelete, ...Keep, ...ForDays
inline constexpr char kLeaveDaysValue[] = "leavedays";  // dword: days, with kLeaveMailForDays
inline constexpr char kMoveFolderValue[] = "movefolder";  // IMAP: moved there instead of deleted
inline constexpr std::uint32_t kProtocolPop3 = 0;
inline constexpr std::uint32_t kProtocolImap = 1;
inline constexpr std::uint32_t kLeaveMailDelete = 0;
inline constexpr std::uint32_t kLeaveMailKeep = 1;
inline constexpr std::uint32_t kLeaveMailForDays = 2;
inline constexpr char kDefaultImapFolders[] = "INBOX";
inline constexpr std::uint32_t kImapsPort = 993;
inline constexpr std::uint32_t kImapPort = 143;

// An account's own outgoing host, for the mail its "addresses" send. An empty "smtpserver" means
// the global outgoing host ("outhostname"). "smtppass" is a secret: with "secretstore" 1 it is
// in the secret store (kind "smtppass"). "smtpauth" 1 signs in with the account's own OAuth 2.0
// sign-in. "addresses" lists exact addresses and "*@domain" patterns, separated by blanks,
// commas or semicolons; empty: the account's "emailaddress".
inline constexpr char kSmtpServerValue[] = "smtpserver";
inline constexpr char kSmtpPortValue[] = "smtpport";
inline constexpr char kSmtpSecurityValue[] = "smtpsecurity";
inline constexpr char kSmtpUserValue[] = "smtpuser";
inline constexpr char kSmtpPassValue[] = "smtppass";
inline constexpr char kSmtpAuthValue[] = "smtpauth";
inline constexpr char kAddressesValue[] = "addresses";

}  // namespace config
