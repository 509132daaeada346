#include "engine/startup_cleanup.h"

#include "platform/files.h"
#include "shared/debug.h"
#include "store/item_lock.h"
#include "store/item_name.h"
#include "store/smtp_queue.h"

#include <string_view>

namespace {

void removeLeftover(const std::string& path) {
    if (plat::deleteFile(path) == 0) DebugLineStr(LOG_MAIL, LOG_MED, "Removed leftover of an unfinished run :", path.c_str());
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

}  // namespace

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
