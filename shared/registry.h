// The configuration of both programs in the current user's registry: the settings values of
// the settings key, the engine's cycle-start values, and the POP3 accounts, one sub-key of the
// accounts key per account, named by the account's title.
//
// Readers never fail: an absent value, a value of another type or one too long for its reader's
// buffer reads as the fall-back given here. An unusable hive file is logged once (APP, HIGH).
#pragma once

#include "platform/registry.h"
#include "config/settings_keys.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace config {

// ---- Settings (settings key)

// A settings value and what its reader answers when the value is absent or cannot be read.
struct StringSetting {
    const char* name;
    const char* fallback;
};
struct DwordSetting {
    const char* name;
    std::uint32_t fallback;
};

// Strings are read through a 260-byte buffer: 259 characters at most, a longer value reads as
// the fall-back.
inline constexpr StringSetting kRasEntry{"rasentry", ""};  // empty: never dial
inline constexpr StringSetting kOutHostName{"outhostname", ""};
inline constexpr StringSetting kNotifAlarmWave{"NotifAlarmWave", "alarm.wav"};
inline constexpr StringSetting kNotifAnnounceWave{"NotifAnnounceWave", "newmail.wav"};
inline constexpr StringSetting kNotifRunFile{"NotifRunFile", ""};
inline constexpr StringSetting kStatus{"Status", ""};
// Periods in milliseconds.
inline constexpr DwordSetting kCheckFreqHI{"CheckFreqHI", 60000};  // while connected
inline constexpr DwordSetting kCheckFreqLO{"CheckFreqLO", 3600000};  // when a dial is needed
inline constexpr DwordSetting kCheckFreqRASRetry{"CheckFreqRASRetry", 300000};
inline constexpr DwordSetting kRASRetryLimit{"RASRetryLimit", 3};
// Switches, 0 or 1.
inline constexpr DwordSetting kRASAllowEstab{"RASAllowEstab", 1};
inline constexpr DwordSetting kRASFailRetry{"RASFailRetry", 1};
inline constexpr DwordSetting kSMTPDeliverImm{"SMTPDeliverImm", 1};
inline constexpr DwordSetting kNotifyDisDialog{"NotifyDisDialog", 1};
inline constexpr DwordSetting kNotifyArrive{"NotifyArrive", 1};
inline constexpr DwordSetting kNotifyAlarm{"NotifyAlarm", 1};
inline constexpr DwordSetting kNotifyVoice{"NotifyVoice", 1};
inline constexpr DwordSetting kNotifyRun{"NotifyRun", 0};
// Desktop notifications (org.freedesktop.Notifications) besides the announcements above.
inline constexpr DwordSetting kNotifyDesktop{"NotifyDesktop", 1};
// Seconds since 1970-01-01 UTC.
inline constexpr DwordSetting kLastCheckTime{"LastCheckTime", 0};
// Days the engine keeps its day logs; 0 keeps them all.
inline constexpr DwordSetting kLogKeepDays{"LogKeepDays", 30};
// The connection to the outgoing host: 0 plain, 1 STARTTLS, 2 TLS from the first byte. With a
// user name the SMTP client logs in. cafile: further trusted certificates (PEM), empty: none.
inline constexpr DwordSetting kOutHostSecurity{"outhostsecurity", 0};
inline constexpr StringSetting kOutHostUser{"outhostuser", ""};
inline constexpr StringSetting kOutHostPass{"outhostpass", ""};
inline constexpr StringSetting kCaFile{"cafile", ""};
// Who may hand mail to the local SMTP server without logging in: 0 the user the engine runs
// as; 1 every user of this machine. Any other value reads as 0.
inline constexpr DwordSetting kLocalSmtpUsers{"localsmtpusers", 0};

// "outhostport" has no fall-back; "Placement" is restored only when exactly 44 bytes are stored.
inline constexpr char kOutHostPort[] = "outhostport";
inline constexpr char kPlacement[] = "Placement";
using WindowPlacement = std::array<std::uint8_t, 44>;
// The mail list's columns: widths, order and sort, restored only when exactly 64 bytes are stored.
inline constexpr char kListColumns[] = "ListColumns";
using ListColumns = std::array<std::uint8_t, 64>;

// Front-end start-up: makes sure the settings key exists.
bool openSettingsKey();

std::string readSetting(const StringSetting& setting);
std::uint32_t readSetting(const DwordSetting& setting);
std::optional<std::uint32_t> readOutHostPort();
std::optional<WindowPlacement> readPlacement();
std::optional<ListColumns> readListColumns();

// Writers create the settings key when it is missing; false when nothing was stored.
bool writeSetting(const StringSetting& setting, const std::string& value);
bool writeSetting(const DwordSetting& setting, std::uint32_t value);
bool writeOutHostPort(std::uint32_t port);
bool writePlacement(const WindowPlacement& placement);
bool writeListColumns(const ListColumns& columns);

// What the SMTP client needs beyond host and port; all defaults: the plain connection.
struct OutgoingSecurity {
    std::uint32_t security = 0;
    std::string user;
    std::string pass;
    std::string caFile;
};
OutgoingSecurity readOutgoingSecurity();

// ---- The engine's cycle start

struct CycleSettings {
    std::string outHostName;
    std::uint32_t outHostPort = 0;
    std::string rasEntry;
};

// The value that stopped the read; a missing settings key stops at the host name.
enum class CycleSettingsFault { None, OutHostName, OutHostPort, RasEntry };

// Reads "outhostname", "outhostport" and "rasentry", in that order, from the settings key
// opened read-only; out is complete only when the answer is None.
CycleSettingsFault readCycleSettings(CycleSettings& out);
// Writes the HIGH line naming the user's hive file, the line and the fault while the file cannot
// be used (the engine does so at every cycle until it is mended). True when there was one.
bool logHiveProblem();

// ---- The account list (accounts key). Indexes count from 0 in enumeration order: by title,
// without regard to case.

// Opens the accounts key with full access, creating it when absent.
bool openAccountsKey(plat::RegKey& accounts, const std::string& path = kAccountsKey);
int accountCount(const plat::RegKey& accounts);
// The title of account index (it must fit 200 bytes); false past the end.
bool accountTitle(const plat::RegKey& accounts, int index, std::string& title);
// A value of 199 or more characters, an absent or unreadable one reads as empty.
std::string accountString(const plat::RegKey& accounts, int index, const std::string& value);
std::optional<std::uint32_t> accountDword(const plat::RegKey& accounts, int index, const std::string& value);
// The index of the account titled exactly title (case counts), -1 if none.
int findAccount(const plat::RegKey& accounts, const std::string& title);
// Writes a value of an existing account; false, with nothing written, when it does not exist.
bool writeAccountString(const plat::RegKey& accounts, const std::string& title, const std::string& value,
                        const std::string& data);
bool writeAccountDword(const plat::RegKey& accounts, const std::string& title, const std::string& value,
                       std::uint32_t data);
// Creates the sub-key of a new account. False when the title is empty, longer than 199
// characters, holds a backslash or a control character, is "outgoing" in any case (the name
// the outgoing host's sign-in and secrets go by), or an account of that title exists in any
// case ("Home" when "home" exists): the registry would hand out the old key.
bool createAccountKey(const plat::RegKey& accounts, const std::string& title);
// Removes an account with all its values; its mailbox directory and UIDL file stay.
bool deleteAccountKey(const plat::RegKey& accounts, const std::string& title);

// What the engine checks an account with. An absent "port" reads as 110, "lastcheck" and
// "security" as 0 (0 plain, 1 STLS, 2 TLS from the first byte).
struct AccountRecord {
    std::string title;
    std::string destMailbox;
    std::string server;
    std::uint32_t port = 110;
    std::string user;
    std::string pass;
    std::string uidlFile;
    std::uint32_t lastCheck = 0;
    std::uint32_t security = 0;
};

// False when there is no account at index (or its title does not fit).
bool readAccountRecord(const plat::RegKey& accounts, int index, AccountRecord& out);

// ---- The local POP3 server's logins, by title (compared as the registry compares key names)

// accountsKey: the key whose sub-keys are the accounts.
bool accountExists(const std::string& title, const std::string& accountsKey = kAccountsKey);
// True only if the account exists and its "pass" (read through 100 bytes) equals password.
bool accountPasswordMatches(const std::string& title, const std::string& password,
                            const std::string& accountsKey = kAccountsKey);
// "dropdir" read through 100 bytes; none when the account or the value is missing or too long.
std::optional<std::string> accountDropDir(const std::string& title, const std::string& accountsKey = kAccountsKey);

// ---- Adding an account from the wizard

struct NewAccount {
    std::string title;
    std::string server;
    std::uint32_t port = 110;
    std::string user;
    std::string pass;
    std::string clientName;
    std::string clientFile;
    std::uint32_t security = 0;  // written only when not 0, the value an absent one reads as
};

// Creates the account's sub-key and writes its values; "uidlfile" user@server.uidl,
// "destmailbox" user@server and "dropdir" accounts/user@server/, and makes that directory
// (accounts/ must exist; that failure is not reported). Refused, with nothing written, when
// createAccountKey refuses the title, when user or server holds "/" or a control character
// (user@server names a directory and a file), when pass holds a line end (it would end the
// PASS command), or when a value the mail flow needs would not read back: server, user, pass,
// uidlfile, destmailbox of 199 characters or more, pass or dropdir of 100 or more. A write
// that fails half-way removes the account again.
bool createAccount(const plat::RegKey& accounts, const NewAccount& account);

}  // namespace config
