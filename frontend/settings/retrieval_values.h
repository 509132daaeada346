// How an account fetches its mail, as the engine reads it from the account's key: the
// protocol, the IMAP folders, what becomes of a fetched message at the provider, and the
// ports each protocol usually has. No widgets: the account sheet and the wizard fill their
// fields from these values and put them back.
#pragma once

#include "config/account_values.h"

#include <cstdint>
#include <string>

class SettingsModel;

struct RetrievalValues {
    std::uint32_t protocol = config::kProtocolPop3;
    std::string folders = config::kDefaultImapFolders;  // as stored; "ALL" stands for every folder
    std::uint32_t leaveMail = config::kLeaveMailDelete;
    std::uint32_t leaveDays = 0;  // with kLeaveMailForDays; 0 when none is stored
    std::string moveFolder;  // IMAP: fetched mail is moved there instead of deleted

    // The values as the engine reads them: an unknown protocol is POP3, an unknown leave-mail
    // choice deletes, no folders are "INBOX".
    static RetrievalValues read(const SettingsModel& model);
    // Sets in model each value that differs from before (what read() answered), so that an
    // account whose fields were left alone keeps its key exactly as it was.
    void write(SettingsModel& model, const RetrievalValues& before) const;

    bool imap() const { return protocol == config::kProtocolImap; }
    bool operator==(const RetrievalValues&) const = default;
};

// The port and security the engine uses for an account without them: POP3 110 and none;
// IMAP 993 with TLS, or 143 with STARTTLS or none.
std::uint32_t defaultSecurity(std::uint32_t protocol);
unsigned retrievalPort(std::uint32_t protocol, std::uint32_t security);

// The account's "security" and "port" as the engine reads them for an account of protocol
// (the security as stored: a page shows it with showSecurity).
std::uint32_t storedSecurity(const SettingsModel& model, std::uint32_t protocol);
unsigned storedPort(const SettingsModel& model, std::uint32_t protocol);
// Sets "port" and "security" in model where they differ from what the engine would read for
// an account of protocol, so that values the engine reads anyway are not written.
void writePortAndSecurity(SettingsModel& model, std::uint32_t protocol, unsigned port, std::uint32_t security);

// The leave-days a page shows when none are stored.
constexpr unsigned kShownLeaveDays = 14;
// The most days mail may stay before it is deleted (ten years).
constexpr unsigned kMaxLeaveDays = 3650;
