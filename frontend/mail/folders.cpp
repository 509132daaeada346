#include "frontend/mail/folders.h"

#include "config/settings.h"
#include "store/maildrop.h"
#include "store/smtp_queue.h"

#include <set>
#include <strings.h>

namespace views {

namespace {

std::string destMailbox(const plat::RegKey& accounts, int index) {
    return config::accountString(accounts, index, "destmailbox");
}

// Calls visit with the listing of each account's mailbox, in index order, until it answers
// false. A mailbox named by several accounts is listed once.
template <class Visit>
void visitMailboxes(Visit visit) {
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return;
    int n = config::accountCount(accounts);
    std::set<std::string> seen;
    for (int i = 0; i < n; ++i) {
        std::string box = destMailbox(accounts, i);
        // An account without a mailbox name would list accounts/ itself.
        if (box.empty() || !seen.insert(box).second) continue;
        if (!visit(store::MailDrop(accountDirectory(box)))) return;
    }
}

}  // namespace

bool beginsWithRoot(const std::string& text, const char* root) {
    return strncasecmp(text.c_str(), root, std::char_traits<char>::length(root)) == 0;
}

const store::MailDrop& Listings::of(const std::string& directory) {
    std::unique_ptr<store::MailDrop>& drop = drops_[directory];
    if (!drop) drop = std::make_unique<store::MailDrop>(directory);
    return *drop;
}

std::string nodeText(const std::string& name, int count) {
    return count == 0 ? name : name + " (" + std::to_string(count) + ")";
}

std::vector<AccountNode> accountNodes(Listings& listings) {
    std::vector<AccountNode> nodes;
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return nodes;
    int n = config::accountCount(accounts);
    for (int i = 0; i < n; ++i) {
        std::string title;
        if (!config::accountTitle(accounts, i, title)) continue;
        int unread = listings.of(accountDirectory(destMailbox(accounts, i))).unreadCount();
        nodes.push_back({nodeText(title, unread), i});
    }
    return nodes;
}

std::string outgoingNodeText(Listings& listings) {
    return nodeText(kOutgoingRoot, listings.of(kOutgoingTreeDirectory).unreadCount());
}

FolderChoice chooseFolder(const std::string& text, int itemData) {
    FolderChoice c;
    if (beginsWithRoot(text, kIncomingRoot)) {
        c.kind = FolderKind::AllAccounts;
        c.folderText = text;
    } else if (!beginsWithRoot(text, kOutgoingRoot)) {
        c.kind = FolderKind::OneAccount;
        c.accountIndex = itemData;
        plat::RegKey accounts;
        if (config::openAccountsKey(accounts)) config::accountTitle(accounts, itemData, c.folderText);
    } else {
        c.kind = FolderKind::Outgoing;
        c.folderText = text;
    }
    return c;
}

std::vector<MailRow> folderRows(FolderKind kind, const std::string& title, HeaderCache& cache, Listings& listings) {
    std::vector<MailRow> rows;
    if (kind == FolderKind::Outgoing) {
        addDirectoryRows(listings.of(kOutgoingListDirectory), std::nullopt, cache, rows);
        return rows;
    }
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return rows;
    if (kind == FolderKind::OneAccount) {
        int i = config::findAccount(accounts, title);
        if (i >= 0)
            addDirectoryRows(listings.of(accountDirectory(destMailbox(accounts, i))), std::nullopt, cache, rows);
        return rows;
    }
    int n = config::accountCount(accounts);
    for (int i = 0; i < n; ++i) {
        std::string t;
        if (!config::accountTitle(accounts, i, t)) continue;
        addDirectoryRows(listings.of(accountDirectory(destMailbox(accounts, i))), t, cache, rows);
    }
    return rows;
}

std::string accountDirectory(const std::string& destMailbox) {
    return "accounts/" + destMailbox;
}

void addDirectoryRows(const store::MailDrop& drop, const std::optional<std::string>& account, HeaderCache& cache,
                      std::vector<MailRow>& rows) {
    std::vector<std::string> names;
    std::vector<int> indexes;
    names.reserve(static_cast<std::size_t>(drop.count()));
    for (int i = 1; i <= drop.count(); ++i) {
        const std::string& name = drop.itemFileName(i);
        if (name.find(store::kRouteExtension) != std::string::npos) continue;
        names.push_back(name);
        indexes.push_back(i);
    }
    std::vector<HeaderCells> cells = cache.cells(drop.directory(), names);
    rows.reserve(rows.size() + names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        MailRow row{account, std::move(cells[k]), drop.itemSize(indexes[k]), drop.itemPath(indexes[k])};
        if (!row.header.receivedAt && row.header.storedAt > 0) row.header.receivedAt = row.header.storedAt;
        rows.push_back(std::move(row));
    }
}

bool anyUnreadMail() {
    bool found = false;
    visitMailboxes([&found](const store::MailDrop& drop) {
        found = drop.hasUnread();
        return !found;
    });
    return found;
}

int unreadMailCount() {
    int count = 0;
    visitMailboxes([&count](const store::MailDrop& drop) {
        count += drop.unreadCount();
        return true;
    });
    return count;
}

}  // namespace views
