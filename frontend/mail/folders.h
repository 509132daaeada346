// The folders the tree offers, the decision its selection handler makes, and the rows each
// folder lists (one per item file, in the directory's own order): read from the account
// settings and the mailbox directories every time. No widget: the list view and the
// benchmark share it.
#pragma once

#include "frontend/mail/header_cache.h"
#include "store/maildrop.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace views {

// One row of the mail list: an item file of a mailbox directory.
struct MailRow {
    std::optional<std::string> account;  // set in the all-accounts view only
    // The header's cells; the received moment falls back to when the item was stored.
    HeaderCells header;
    std::uint64_t bytes = 0;
    std::string path;
};

// Appends the rows of the items of a directory's listing; routing files are never rows.
// account: the title for the account column, or none.
void addDirectoryRows(const store::MailDrop& drop, const std::optional<std::string>& account, HeaderCache& cache,
                      std::vector<MailRow>& rows);

// The directory of an account's items: "accounts/" + its destmailbox value.
std::string accountDirectory(const std::string& destMailbox);
// The outgoing queue as the list reaches it.
inline constexpr char kOutgoingListDirectory[] = "accounts/../outgoing";
// The outgoing queue as the tree counts it.
inline constexpr char kOutgoingTreeDirectory[] = "./outgoing";

enum class FolderKind { AllAccounts, OneAccount, Outgoing };

inline constexpr char kIncomingRoot[] = "Incoming";
inline constexpr char kOutgoingRoot[] = "Outgoing";

// The listings of one refresh: each directory is scanned once, so the tree's counts and the
// list's rows come from the same snapshot.
class Listings {
public:
    // directory without a trailing "/".
    const store::MailDrop& of(const std::string& directory);

private:
    std::unordered_map<std::string, std::unique_ptr<store::MailDrop>> drops_;
};

// One account node: its text ("title" or "title (unread)") and its index under the accounts key.
struct AccountNode {
    std::string text;
    int index;
};

// The account nodes in index order (the tree inserts each as the first child).
std::vector<AccountNode> accountNodes(Listings& listings);
// "Outgoing" or "Outgoing (n)" with the queue's unread count.
std::string outgoingNodeText(Listings& listings);
// "name" when count is 0, else "name (count)".
std::string nodeText(const std::string& name, int count);

// Whether text begins with the root's name, case ignored.
bool beginsWithRoot(const std::string& text, const char* root);

// What selecting a node means. Texts beginning with "Incoming" or "Outgoing" (case ignored)
// are those roots, whatever the node; any other text is the account of index itemData.
struct FolderChoice {
    FolderKind kind = FolderKind::AllAccounts;
    std::string folderText;  // the account's title for an account, else the node's text
    int accountIndex = -1;  // -1 for the roots
};
FolderChoice chooseFolder(const std::string& nodeText, int itemData);

// Walks the accounts in index order and stops at the first mailbox ("accounts/" and the
// account's destmailbox) with an unread item.
bool anyUnreadMail();
// The unread items of all the accounts' mailboxes (a mailbox two accounts share counts once).
int unreadMailCount();

// The rows of a folder: all accounts in index order with their titles, the account titled
// title, or the outgoing queue.
std::vector<MailRow> folderRows(FolderKind kind, const std::string& title, HeaderCache& cache, Listings& listings);

}  // namespace views
