#include "frontend/schedule/unread_mail.h"

#include "shared/registry.h"
#include "store/maildrop.h"

#include <set>
#include <string>

namespace {

// Calls visit with the listing of each account's mailbox, in index order, until it answers
// false. A mailbox named by several accounts is listed once.
template <class Visit>
void visitMailboxes(Visit visit) {
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return;
    int n = config::accountCount(accounts);
    std::set<std::string> seen;
    for (int i = 0; i < n; ++i) {
        std::string box = config::accountString(accounts, i, "destmailbox");
        // An account without a mailbox name would list accounts/ itself.
        if (box.empty() || !seen.insert(box).second) continue;
        if (!visit(store::MailDrop("accounts/" + box))) return;
    }
}

}  // namespace

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
