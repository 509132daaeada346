#include "frontend/settings/validation.h"

#include "frontend/settings/security_fields.h"
#include "oauth/oauth_settings.h"

#include <QString>

#include <cctype>
#include <cstdio>
#include <limits>

namespace validation {

const char kNoHostMessage[] = QT_TRANSLATE_NOOP(
    "Tarnwick",
    "Please enter the address of your SMTP mail server for outgoing mail to be delivered. (smtp.example.net)");
const char kPeriodMessage[] = QT_TRANSLATE_NOOP(
    "Tarnwick", "Minimum value is 1 minute. Offline period must not be less than online period.");
const char kTooLongMessage[] = QT_TRANSLATE_NOOP("Tarnwick", "Maximum value is 35791 minutes.");
const char kPlainTextMessage[] = QT_TRANSLATE_NOOP("Tarnwick", "The password and the mail travel unencrypted.");
const char kRetryMessage[] = QT_TRANSLATE_NOOP("Tarnwick", "Please enter the number of retries, at least 1.");
const char kPauseMessage[] = QT_TRANSLATE_NOOP("Tarnwick", "Please enter a pause from 1 to 35791 minutes.");

namespace {

constexpr std::size_t kSettingMax = 259;
const char kBadServerMessage[] = QT_TRANSLATE_NOOP("Tarnwick",
                                                   "Please don't include '@', '?', '*' or space characters in the "
                                                   "server name.");  // bytes of a stored string, its NUL not counted

std::string trimmed(const std::string& s) {
    std::size_t first = 0, last = s.size();
    while (first < last && std::isspace(static_cast<unsigned char>(s[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(s[last - 1]))) --last;
    return s.substr(first, last - first);
}

bool hasForbidden(const std::string& s) {
    return s.find_first_of(" @?*") != std::string::npos;
}

}  // namespace

std::optional<unsigned> readNumber(const std::string& text) {
    std::string digits = trimmed(text);
    if (digits.empty()) return std::nullopt;
    unsigned long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > std::numeric_limits<unsigned>::max()) return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

std::optional<unsigned> readPort(const std::string& text) {
    std::optional<unsigned> port = readNumber(text);
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    return port;
}

std::optional<Refusal> checkConnection(const ConnectionValues& v, bool (*caFileReadable)(const std::string&)) {
    if (trimmed(v.smtpServer).empty()) return Refusal{kNoHostMessage, ConnectionField::None, {}};
    if (!readPort(v.smtpPort)) return Refusal{kPortMessage, ConnectionField::SmtpPort, {}};
    std::optional<unsigned> retries = readNumber(v.retryCount);
    if (!retries || *retries == 0) return Refusal{kRetryMessage, ConnectionField::RetryCount, {}};
    std::optional<unsigned> pause = readNumber(v.retryPause);
    if (!pause || *pause == 0 || *pause > kMaxMinutes) return Refusal{kPauseMessage, ConnectionField::RetryPause, {}};
    struct Text {
        const std::string& value;
        const char* tooLong;
        ConnectionField field;
    };
    for (const Text& t :
         {Text{v.smtpUser, QT_TRANSLATE_NOOP("Tarnwick", "The user name is too long: at most 259 bytes can be stored."),
               ConnectionField::SmtpUser},
          Text{v.smtpPassword,
               QT_TRANSLATE_NOOP("Tarnwick", "The password is too long: at most 259 bytes can be stored."),
               ConnectionField::SmtpPassword},
          Text{v.caFile,
               QT_TRANSLATE_NOOP("Tarnwick", "The CA file name is too long: at most 259 bytes can be stored."),
               ConnectionField::CaFile}}) {
        if (t.value.size() > kSettingMax) return Refusal{t.tooLong, t.field, {}};
    }
    // Without its CA file the engine would refuse every server the file is meant for.
    if (!v.caFile.empty() && !caFileReadable(v.caFile))
        return Refusal{QT_TRANSLATE_NOOP("Tarnwick", "The CA file cannot be read: %1"), ConnectionField::CaFile,
                       v.caFile};
    return std::nullopt;
}

bool sendsInTheClear(std::uint32_t security, const std::string& host) {
    std::string h = trimmed(host);
    for (char& c : h) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (security != kSecurityNone || h.empty() || h == "localhost" || h == "::1" || h == "[::1]") return false;
    // An IPv4 address of 127.0.0.0/8: four numbers up to 255, the first 127.
    unsigned parts[4];
    int used = 0;
    if (std::sscanf(h.c_str(), "%3u.%3u.%3u.%3u%n", &parts[0], &parts[1], &parts[2], &parts[3], &used) != 4 ||
        used != static_cast<int>(h.size()) || h.find_first_not_of("0123456789.") != std::string::npos)
        return true;
    for (unsigned p : parts)
        if (p > 255) return true;
    return parts[0] != 127;
}

std::string checkPeriods(unsigned onlineMinutes, unsigned offlineMinutes) {
    if (onlineMinutes == 0 || offlineMinutes < onlineMinutes) return kPeriodMessage;
    if (offlineMinutes > kMaxMinutes) return kTooLongMessage;  // its milliseconds would not fit a timer
    return "";
}

std::vector<std::string> checkAccountTitle(const std::string& title, bool (*exists)(const std::string&)) {
    std::vector<std::string> messages;
    if (title.empty())
        messages.emplace_back(
            QT_TRANSLATE_NOOP("Tarnwick", "Please enter an account title or click Cancel to exit wizard."));
    if (hasForbidden(title))
        messages.emplace_back(QT_TRANSLATE_NOOP(
            "Tarnwick", "Please don't include '@', '?', '*' or space characters in the account title."));
    if (!title.empty() && exists(title))
        messages.emplace_back(
            QT_TRANSLATE_NOOP("Tarnwick", "An account with the title you have entered already exists."));
    // The outgoing host's sign-in and secrets are kept under this name; an account of that
    // title would share them.
    if (QString::fromStdString(title).compare(QLatin1String(config::kOutgoingTarget), Qt::CaseInsensitive) == 0)
        messages.emplace_back(QT_TRANSLATE_NOOP(
            "Tarnwick", "The title \"outgoing\" is kept for the outgoing mail server. Please choose another title."));
    return messages;
}

std::vector<std::string> checkAccountServer(const std::string& server, const std::string& user,
                                            const std::string& password, const std::string& port) {
    std::vector<std::string> messages;
    if (hasForbidden(server)) messages.emplace_back(kBadServerMessage);
    if (server.empty() || user.empty() || password.empty())
        messages.emplace_back(QT_TRANSLATE_NOOP(
            "Tarnwick",
            "Please enter your POP3 account SERVER, USERNAME and PASSWORD. Click Cancel to exit from the wizard."));
    if (!readPort(port)) messages.emplace_back(kPortMessage);
    return messages;
}

namespace {

// The longest text an account's value may hold: the engine reads account values into 199 bytes.
constexpr std::size_t kAccountValueMax = 198;
// The engine reads the list of addresses whole; this keeps it a list a person can read.
constexpr std::size_t kAddressesMax = 2000;

bool folderNamed(const std::string& list, const std::string& folder) {
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        std::string name = trimmed(list.substr(at, comma - at));
        at = comma + 1;
        // INBOX is the one name IMAP compares without regard to case.
        if (name == folder ||
            (QString::fromStdString(name).compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0 &&
             QString::fromStdString(folder).compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0))
            return true;
    }
    return false;
}

// user@example.net or *@example.net: one "@" with something before it, a domain of labels
// after it, and nothing a mail program would take for the rest of an address.
bool addressOrPattern(const std::string& word) {
    std::size_t at = word.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == word.size()) return false;
    std::string local = word.substr(0, at), domain = word.substr(at + 1);
    if (local != "*" && local.find_first_of("*<>()[]\\\":@") != std::string::npos) return false;
    if (domain.front() == '.' || domain.back() == '.' || domain.find("..") != std::string::npos) return false;
    for (unsigned char c : domain)
        if (!(std::isalnum(c) || c == '.' || c == '-' || c >= 0x80)) return false;
    return true;
}

}  // namespace

std::optional<AccountRefusal> checkRetrieval(const RetrievalValues& v) {
    if (v.leaveMail == config::kLeaveMailForDays && (v.leaveDays < 1 || v.leaveDays > kMaxLeaveDays))
        return AccountRefusal{QT_TRANSLATE_NOOP("Tarnwick", "Please enter a number of days from 1 to 3650."),
                              AccountField::LeaveDays,
                              {}};
    if (!v.imap()) return std::nullopt;
    if (v.folders.size() > kAccountValueMax)
        return AccountRefusal{
            QT_TRANSLATE_NOOP("Tarnwick", "The list of folders is too long: at most 198 bytes can be stored."),
            AccountField::Folders,
            {}};
    if (v.moveFolder.size() > kAccountValueMax)
        return AccountRefusal{
            QT_TRANSLATE_NOOP("Tarnwick", "The folder name is too long: at most 198 bytes can be stored."),
            AccountField::MoveFolder,
            {}};
    // Moving counts only where mail leaves the folder it was fetched from.
    if (!v.moveFolder.empty() && v.leaveMail != config::kLeaveMailKeep && folderNamed(v.folders, v.moveFolder))
        return AccountRefusal{QT_TRANSLATE_NOOP("Tarnwick",
                                                "Mail cannot be moved to \"%1\": that folder is fetched too, so "
                                                "its mail would be fetched again. Please choose another folder."),
                              AccountField::MoveFolder, v.moveFolder};
    return std::nullopt;
}

std::optional<AccountRefusal> checkOutgoing(const OutgoingValues& v, const std::string& portTyped, bool ownChosen) {
    // A server of its own left empty would silently be the global one.
    if (ownChosen && trimmed(v.server).empty())
        return AccountRefusal{QT_TRANSLATE_NOOP("Tarnwick",
                                                "Please enter the name of this account's own outgoing mail server, "
                                                "or choose the same server as for all accounts."),
                              AccountField::SmtpServer,
                              {}};
    if (v.ownServer()) {
        if (hasForbidden(v.server)) return AccountRefusal{kBadServerMessage, AccountField::SmtpServer, {}};
        if (v.server.size() > kAccountValueMax)
            return AccountRefusal{
                QT_TRANSLATE_NOOP("Tarnwick", "The server name is too long: at most 198 bytes can be stored."),
                AccountField::SmtpServer,
                {}};
        if (!readPort(portTyped)) return AccountRefusal{kPortMessage, AccountField::SmtpPort, {}};
        if (v.user.size() > kAccountValueMax)
            return AccountRefusal{
                QT_TRANSLATE_NOOP("Tarnwick", "The user name is too long: at most 198 bytes can be stored."),
                AccountField::SmtpUser,
                {}};
        if (v.password.size() > kAccountValueMax)
            return AccountRefusal{
                QT_TRANSLATE_NOOP("Tarnwick", "The password is too long: at most 198 bytes can be stored."),
                AccountField::SmtpPassword,
                {}};
    }
    if (v.addresses.size() > kAddressesMax)
        return AccountRefusal{
            QT_TRANSLATE_NOOP("Tarnwick", "The list of addresses is too long: at most 2000 characters."),
            AccountField::Addresses,
            {}};
    for (const std::string& word : addressWords(v.addresses))
        if (!addressOrPattern(word))
            return AccountRefusal{QT_TRANSLATE_NOOP("Tarnwick",
                                                    "\"%1\" is neither an e-mail address "
                                                    "(jo@example.net) nor a pattern of a domain "
                                                    "(*@example.net)."),
                                  AccountField::Addresses, word};
    return std::nullopt;
}

}  // namespace validation
