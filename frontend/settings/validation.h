// The checks of the settings pages as functions of the values the user typed, without
// widgets: each answers what the page must tell the user, and which field takes the focus.
#pragma once

#include "frontend/settings/outgoing_values.h"
#include "frontend/settings/retrieval_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace validation {

// The longest check period in minutes: its milliseconds must fit a timer.
constexpr unsigned kMaxMinutes = 35791;

extern const char kNoHostMessage[];
extern const char kPeriodMessage[];
extern const char kTooLongMessage[];
extern const char kPlainTextMessage[];
extern const char kRetryMessage[];
extern const char kPauseMessage[];

// The fields of the Connection page a refusal points at.
enum class ConnectionField { None, SmtpPort, RetryCount, RetryPause, SmtpUser, SmtpPassword, CaFile };

struct ConnectionValues {
    std::string smtpServer;  // as typed: blanks around the name are dropped
    std::string smtpPort;
    std::string retryCount;
    std::string retryPause;  // minutes
    std::string smtpUser;
    std::string smtpPassword;
    std::string caFile;
};

struct Refusal {
    std::string message;  // "%1" in it stands for the argument
    ConnectionField field = ConnectionField::None;
    std::string argument;
};

// Nothing when the Connection page's values may be stored. caFileReadable is asked only
// for a CA file that is named.
std::optional<Refusal> checkConnection(const ConnectionValues& values, bool (*caFileReadable)(const std::string&));

// The message for the Scheduling page's periods in minutes, empty when they may be stored.
std::string checkPeriods(unsigned onlineMinutes, unsigned offlineMinutes);

// The messages the wizard's title page shows one after the other, none when the title is
// fine. exists answers whether an account of that title (in any letter case) exists. The
// outgoing host's name (in any letter case) is no account title.
std::vector<std::string> checkAccountTitle(const std::string& title, bool (*exists)(const std::string&));

// The messages of the wizard's server page; port is as typed.
std::vector<std::string> checkAccountServer(const std::string& server, const std::string& user,
                                            const std::string& password, const std::string& port);

// Whether a connection with that security (0: none) to host would carry the password and
// mail unencrypted beyond this machine: any host but an address of 127.0.0.0/8, "::1" or
// "localhost". An empty host is not yet a connection.
bool sendsInTheClear(std::uint32_t security, const std::string& host);

// The whole number in text (blanks around it allowed), or nothing.
std::optional<unsigned> readNumber(const std::string& text);
// A port from 1 to 65535, or nothing.
std::optional<unsigned> readPort(const std::string& text);

// The fields of an account's fetching and outgoing fields a refusal points at.
enum class AccountField {
    None,
    Folders,
    MoveFolder,
    LeaveDays,
    SmtpServer,
    SmtpPort,
    SmtpUser,
    SmtpPassword,
    Addresses
};

struct AccountRefusal {
    std::string message;  // "%1" in it stands for the argument
    AccountField field = AccountField::None;
    std::string argument;
};

// Nothing when an account's fetching values may be stored. The IMAP values are checked only
// for an IMAP account; a folder mail is moved to may not be one that is fetched, or the mail
// would come again from there.
std::optional<AccountRefusal> checkRetrieval(const RetrievalValues& values);
// Nothing when an account's outgoing values may be stored; portTyped is the port as typed,
// ownChosen whether the account's own server was chosen (its name may still be empty).
// Server, port and log-in are checked only for a server of the account's own; the addresses
// always: each an address (user@example.net) or a pattern of a domain (*@example.net).
std::optional<AccountRefusal> checkOutgoing(const OutgoingValues& values, const std::string& portTyped, bool ownChosen);

}  // namespace validation
