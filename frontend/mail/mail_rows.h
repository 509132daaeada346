// The rows of the mail list: one per item file of a mailbox directory, in the directory's own
// order, with the texts the columns show. No widget: the list view and the benchmark share it.
#pragma once

#include "frontend/mail/header_cache.h"
#include "store/maildrop.h"

#include <optional>
#include <string>
#include <vector>

namespace views {

struct MailRow {
    std::optional<std::string> account;   // set in the all-accounts view only
    // The header's cells; the received moment falls back to when the item was stored.
    HeaderCells header;
    std::uint64_t bytes = 0;
    std::string path;
};

// Appends the rows of the items of a directory's listing; routing files are never rows.
// account: the title for the account column, or none.
void addDirectoryRows(const store::MailDrop& drop, const std::optional<std::string>& account,
                      HeaderCache& cache, std::vector<MailRow>& rows);

// The directory of an account's items: "accounts/" + its destmailbox value.
std::string accountDirectory(const std::string& destMailbox);
// The outgoing queue as the list reaches it.
inline constexpr char kOutgoingListDirectory[] = "accounts/../outgoing";
// The outgoing queue as the tree counts it.
inline constexpr char kOutgoingTreeDirectory[] = "./outgoing";

}  // namespace views
