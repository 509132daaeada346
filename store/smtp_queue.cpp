#include "store/smtp_queue.h"

#include "platform/files.h"
#include "log/debug.h"
#include "store/item_name.h"

#include <cerrno>
#include <cstring>

namespace store {

SMTPQueue::SMTPQueue(const std::string& directory) : directory_(directoryPrefix(directory)) {
    DebugLine(LOG_APP, LOG_LOW, "SMTPQueue::SMTPQueue");
    const std::size_t extLength = std::strlen(kRouteExtension);
    std::vector<plat::DirEntry> found = plat::listFiles(directory_, kRouteExtension);
    entries_.reserve(found.size());
    for (plat::DirEntry& routing : found) {
        // A file named just ".route" would make the directory itself the item.
        if (routing.name.size() == extLength) continue;
        Entry e;
        e.baseName = routing.name.substr(0, routing.name.size() - extLength);
        e.routingSize = routing.size;
        DebugLine(LOG_MAIL, LOG_LOW, e.baseName.c_str());
        entries_.push_back(std::move(e));
    }
    DebugLineInt(LOG_MAIL, LOG_LOW, "Queue size :", count());
}

const SMTPQueue::Entry* SMTPQueue::entry(int i) const {
    if (i < 1 || i > count()) return nullptr;
    return &entries_[static_cast<std::size_t>(i - 1)];
}

std::string SMTPQueue::itemPath(int i) const {
    const Entry* e = entry(i);
    return e ? directory_ + e->baseName : std::string();
}

std::string SMTPQueue::routingPath(int i) const {
    const Entry* e = entry(i);
    return e ? directory_ + e->baseName + kRouteExtension : std::string();
}

bool SMTPQueue::deleteItem(int i) {
    if (!entry(i)) return false;
    // The routing file goes first: without it the item is never listed again, so a crash
    // between the two deletions cannot send it a second time.
    for (const std::string& path : {routingPath(i), itemPath(i)}) {
        int err = plat::deleteFile(path);
        if (err != 0 && err != ENOENT) DebugLineStr(LOG_MAIL, LOG_HIGH, "Unable to delete queued file :", path.c_str());
    }
    return true;
}

}  // namespace store
