#include "store/maildrop.h"

#include "platform/files.h"
#include "store/item_name.h"
#include "store/read_state.h"

namespace store {

namespace {

const std::string kEmpty;

}  // namespace

MailDrop::MailDrop(const std::string& directory) : directory_(directoryPrefix(directory)) {
    // One reading of the directory is the listing's snapshot.
    std::vector<plat::DirEntry> entries = plat::listFiles(directory_, std::string(kItemExtension));
    items_.reserve(entries.size());
    for (plat::DirEntry& entry : entries) {
        if (entry.name.front() == '.') continue;
        ItemFileName parts = parseItemFileName(entry.name);
        MailDropItem record;
        record.id = std::move(parts.id);
        record.ownerTag = std::move(parts.ownerTag);
        record.fileName = std::move(entry.name);
        record.size = entry.size;
        if (!isItemRead(directory_ + record.fileName)) ++unreadCount_;
        totalSize_ += record.size;
        items_.push_back(std::move(record));
    }
}

const MailDropItem* MailDrop::item(int i) const {
    if (i < 1 || i > count()) return nullptr;
    return &items_[static_cast<std::size_t>(i - 1)];
}

MailDropItem* MailDrop::at(int i) {
    return const_cast<MailDropItem*>(static_cast<const MailDrop*>(this)->item(i));
}

const std::string& MailDrop::itemId(int i) const {
    const MailDropItem* it = item(i);
    return it ? it->id : kEmpty;
}

const std::string& MailDrop::itemOwnerTag(int i) const {
    const MailDropItem* it = item(i);
    return it ? it->ownerTag : kEmpty;
}

const std::string& MailDrop::itemFileName(int i) const {
    const MailDropItem* it = item(i);
    return it ? it->fileName : kEmpty;
}

std::uint64_t MailDrop::itemSize(int i) const {
    const MailDropItem* it = item(i);
    return it ? it->size : 0;
}

bool MailDrop::deletionMark(int i) const {
    const MailDropItem* it = item(i);
    return it && it->deletionMark;
}

void MailDrop::mark(int i) {
    if (MailDropItem* it = at(i)) it->deletionMark = true;
}

void MailDrop::unmark(int i) {
    if (MailDropItem* it = at(i)) it->deletionMark = false;
}

std::string MailDrop::itemPath(int i) const {
    const MailDropItem* it = item(i);
    return it ? directory_ + it->fileName : std::string();
}

bool MailDrop::isRead(int i) const {
    const MailDropItem* it = item(i);
    return !it || isItemRead(directory_ + it->fileName);
}

bool MailDrop::setRead(int i, ReadState state) {
    const MailDropItem* it = item(i);
    return it && setItemRead(directory_ + it->fileName, state);
}

std::string MailDrop::makeItemFileName(std::string_view owner, std::string_view id) const {
    return directory_ + ownerTaggedName(owner, id);
}

}  // namespace store
