#include "frontend/schedule/unread_mail.h"

#include "shared/registry.h"
#include "store/maildrop.h"

bool anyUnreadMail() {
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return false;
    int n = config::accountCount(accounts);
    for (int i = 0; i < n; ++i) {
        std::string box = config::accountString(accounts, i, "destmailbox");
        // An account without a mailbox name would list accounts/ itself.
        if (box.empty()) continue;
        if (store::MailDrop("accounts/" + box).hasUnread()) return true;
    }
    return false;
}
