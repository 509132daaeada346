#include "engine/startup_cleanup.h"

#include "imap/imap_record.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "pop3/uidl.h"
#include "log/debug.h"
#include "config/settings.h"
#include "store/item_lock.h"
#include "store/item_name.h"
#include "store/smtp_queue.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

void removeLeftover(const std::string& path) {
    int error = plat::deleteFile(path);
    if (error == 0) {
        DebugLineStr(LOG_MAIL, LOG_MED, "Removed leftover of an unfinished run :", path.c_str());
    } else if (error != ENOENT) {
        // Left in place it would be met again at every start; the owner has to know.
        DebugLineStr(LOG_MAIL, LOG_HIGH,
                     "Unable to remove leftover of an unfinished run :", (path + " " + std::to_string(error)).c_str());
    }
}

// The item name a routing file belongs to, or empty when it is no time-stamped item's.
std::string_view routedItem(std::string_view routeName) {
    std::string_view ext = store::kRouteExtension;
    if (routeName.size() <= ext.size() || routeName.substr(routeName.size() - ext.size()) != ext) return {};
    std::string_view item = routeName.substr(0, routeName.size() - ext.size());
    return store::isTimeStampedItemName(item) ? item : std::string_view();
}

// dir + name with one "/" between them; an empty dir is the working directory.
std::string inDirectory(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// What one account can claim in the holding directory.
struct AccountClaim {
    std::vector<std::string> tags;  // "[" tag "]" as its item names begin, full and shortened
    std::unordered_set<std::string> recorded;  // item names of its recorded identifiers
    std::string unreadable;  // why its record cannot be read; empty when it can
};

// The beginning of the owner's item names up to and with "]".
std::string tagOf(const std::string& itemName) {
    return itemName.substr(0, itemName.find(']') + 1);
}

AccountClaim claimOf(const config::AccountRecord& account) {
    AccountClaim claim;
    std::string owner = account.user + "@" + account.server;
    claim.tags.push_back(tagOf(store::ownerTaggedName(owner, "x")));
    // A name too long for the file system has its tag cut too, once past a bound.
    std::string cut = tagOf(store::ownerTaggedName(owner, std::string(store::kMaxItemFileName, 'x')));
    if (cut != claim.tags.front()) claim.tags.push_back(cut);
    const std::string& file = account.uidlFile;
    plat::FileStamp stamp;
    if (file.empty()) {
        claim.unreadable = "its account keeps no identifier file";
    } else if (plat::fileExists(file) && (!plat::fileStamp(file, stamp) || !plat::openFile(file, "rb"))) {
        claim.unreadable = "the identifier file of its account cannot be read";
    } else {
        UIDL record;  // loaded only: never saved from here
        record.load(file);
        for (const UIDLEntry& e : record) {
            // An IMAP account's items are named by the key of their entry, without its details.
            auto imap = imaprec::parse(e.identifier);
            claim.recorded.insert(store::ownerTaggedName(
                owner, imap ? imaprec::key(imap->folder, imap->uidValidity, imap->uid) : e.identifier));
        }
    }
    return claim;
}

std::vector<AccountClaim> accountClaims(const std::string& accountsKey) {
    std::vector<AccountClaim> claims;
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts, accountsKey) || !accounts.isOpen()) return claims;
    config::AccountRecord record;
    for (int i = 0; config::readAccountRecord(accounts, i, record); ++i) claims.push_back(claimOf(record));
    return claims;
}

bool isRetrievedItemName(const std::string& name) {
    std::string_view ext = store::kItemExtension;
    return name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0 &&
           name.front() == '[' && name.find(']') != std::string::npos;
}

// Why the file must stay, or empty when nothing can still claim it.
std::string reasonToKeep(const std::string& name, std::uint64_t size, const std::vector<AccountClaim>& claims) {
    if (!isRetrievedItemName(name)) return "not a retrieved item's name";
    if (size == 0) return {};  // holds no mail
    std::string tag = tagOf(name);
    bool owned = false;
    for (const AccountClaim& c : claims) {
        if (std::find(c.tags.begin(), c.tags.end(), tag) == c.tags.end()) continue;
        owned = true;
        if (!c.unreadable.empty()) return c.unreadable;
        if (c.recorded.count(name)) return "its identifier is recorded as retrieved";
    }
    return owned ? std::string() : "no configured account owns it";
}

}  // namespace

void removeHoldingLeftovers(const std::string& holdingDirectory, const std::string& accountsKey) {
    std::vector<plat::DirEntry> files = plat::listFiles(holdingDirectory, "");
    if (files.empty()) return;
    std::vector<AccountClaim> claims = accountClaims(accountsKey);
    for (const plat::DirEntry& e : files) {
        std::string path = inDirectory(holdingDirectory, e.name);
        std::string keep = reasonToKeep(e.name, e.size, claims);
        if (!keep.empty()) {
            DebugLineStr(LOG_MAIL, LOG_MED, ("Kept leftover of an unfinished retrieval, " + keep + " :").c_str(),
                         path.c_str());
        } else if (int error = plat::deleteFile(path); error != 0) {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "Unable to remove leftover of an unfinished retrieval :",
                         (path + " " + std::to_string(error)).c_str());
        } else {
            DebugLineStr(LOG_MAIL, LOG_MED, "Removed leftover of an unfinished retrieval :", path.c_str());
        }
    }
}

void removeStartupLeftovers(const std::string& workDirectory, const std::string& queueDirectory) {
    std::string work = workDirectory.empty() ? "." : workDirectory;
    // Nothing in the working directory was acknowledged: the server answers only once an item
    // and its routing file are both in the queue.
    for (const auto& e : plat::listFiles(work, std::string(store::kItemExtension))) {
        if (store::isTimeStampedItemName(e.name)) removeLeftover(inDirectory(workDirectory, e.name));
    }
    for (const auto& e : plat::listFiles(work, store::kRouteExtension)) {
        if (!routedItem(e.name).empty()) removeLeftover(inDirectory(workDirectory, e.name));
    }
    // A queued item is a pair; an item alone was never acknowledged or was already delivered.
    store::MailItemLock lock(LOG_MAIL, LOG_HIGH, "Start-up cleanup without the item lock");
    for (const auto& e : plat::listFiles(queueDirectory, std::string(store::kItemExtension))) {
        std::string item = inDirectory(queueDirectory, e.name);
        if (store::isTimeStampedItemName(e.name) && !plat::fileExists(item + store::kRouteExtension))
            removeLeftover(item);
    }
}
