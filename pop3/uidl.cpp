#include "pop3/uidl.h"

#include "platform/files.h"
#include "shared/debug.h"
#include "store/binary_io.h"

#include <cstdint>
#include <cstdio>
#include <limits>

UIDL::~UIDL() {
    clear();
}

UIDLEntry* UIDL::item(int position) const {
    UIDLEntry* e = first_;
    for (int k = 1; e && k < position; ++k) e = e->next;
    return e;
}

UIDLEntry* UIDL::find(std::string_view identifier) const {
    auto it = index_.find(identifier);
    return it == index_.end() ? nullptr : it->second.first;
}

UIDLEntry* UIDL::add(std::string_view identifier, int messageNumber, int flag) {
    auto* e = new UIDLEntry;
    e->identifier.assign(identifier.data(), identifier.size());
    e->messageNumber = messageNumber;
    e->flag = flag;
    e->prev = last_;
    if (last_) {
        last_->next = e;
    } else {
        first_ = e;
    }
    last_ = e;
    ++count_;
    auto [slot, inserted] = index_.try_emplace(std::string_view(e->identifier), IndexSlot{e, 0});
    ++slot->second.count;
    fileInStep_ = false;
    tailOnly_ = false;
    return e;
}

void UIDL::unindex(UIDLEntry* entry) {
    auto it = index_.find(entry->identifier);
    if (it == index_.end()) return;
    if (--it->second.count == 0) {
        index_.erase(it);
        return;
    }
    if (it->second.first != entry) return;
    // The key viewed this entry's text: re-key it on the next duplicate, which follows it.
    UIDLEntry* next = entry->next;
    while (next && next->identifier != entry->identifier) next = next->next;
    IndexSlot slot{next, it->second.count};
    index_.erase(it);
    if (next) index_.emplace(std::string_view(next->identifier), slot);
}

void UIDL::remove(UIDLEntry* entry) {
    if (!entry) return;
    unindex(entry);
    (entry->prev ? entry->prev->next : first_) = entry->next;
    (entry->next ? entry->next->prev : last_) = entry->prev;
    --count_;
    delete entry;
    fileInStep_ = false;
    tailOnly_ = false;
}

void UIDL::setFlag(int position, int flag) {
    if (UIDLEntry* e = item(position)) e->flag = flag;
}

void UIDL::clear() {
    index_.clear();
    for (UIDLEntry* e = first_; e;) {
        UIDLEntry* next = e->next;
        delete e;
        e = next;
    }
    first_ = last_ = nullptr;
    count_ = 0;
    fileInStep_ = false;
    tailOnly_ = false;
}

void UIDL::load(const std::string& fileName) {
    if (plat::FilePtr f = plat::openFile(fileName, "rb")) read(f.get());
    fileName_ = fileName;
}

void UIDL::read(std::FILE* f) {
    DebugLine(LOG_APP, LOG_LOW, "UIDL::read");
    if (!f) {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - NULL file handler");
        return;
    }
    // A negative count or length, or one larger than the file holds, ends the reading at that
    // field: nothing is ever allocated from what the file claims.
    std::int32_t n = 0;
    if (!store::readInt32(f, n) || n < 0) {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - fread error");
        return;
    }
    std::string text;
    for (std::int32_t k = 0; k < n; ++k) {
        std::int32_t length = 0;
        if (!store::readInt32(f, length) || length < 0 ||
            !store::readBytes(f, static_cast<std::size_t>(length), text)) {
            DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - fread error");
            return;
        }
        add(text, 0, 0);
    }
}

bool UIDL::write(std::FILE* f) const {
    DebugLine(LOG_APP, LOG_LOW, "UIDL::write");
    DebugLineInt(LOG_APP, LOG_LOW, "UIDL writing items =", count_);
    if (!f) {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - NULL file handler");
        return false;
    }
    bool ok = true;
    auto fail = [&ok] {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - fwrite error");
        ok = false;
    };
    if (!store::writeInt32(f, static_cast<std::uint32_t>(count_))) fail();
    for (const UIDLEntry* e = first_; e; e = e->next) {
        if (e->identifier.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            fail();
            continue;
        }
        if (!store::writeInt32(f, static_cast<std::uint32_t>(e->identifier.size()))) fail();
        if (std::fwrite(e->identifier.data(), 1, e->identifier.size(), f) != e->identifier.size()) fail();
    }
    return ok;
}

bool UIDL::save() {
    if (fileName_.empty()) return false;
    std::string temporary = fileName_ + ".tmp";
    plat::FilePtr f = plat::openFile(temporary, "wb");
    if (!f) return false;
    bool ok = write(f.get());
    // A write that fails only when the buffer reaches the disk (a full disk) counts as well.
    if (ok && plat::syncFile(f.get()) != 0) {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - fwrite error");
        ok = false;
    }
    if (!plat::closeFile(f)) ok = false;
    if (!ok || std::rename(temporary.c_str(), fileName_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    plat::syncDirectoryOf(fileName_);
    fileInStep_ = true;
    tailOnly_ = false;
    unsaved_ = 0;
    return true;
}

void UIDL::recordLater(std::string_view identifier) {
    bool tailOnly = fileInStep_ || tailOnly_;
    std::size_t unsaved = fileInStep_ ? 0 : unsaved_;
    add(identifier, 0, 1);
    tailOnly_ = tailOnly;
    unsaved_ = unsaved + 1;
}

bool UIDL::commit() {
    if (fileInStep_) return true;
    bool appended = tailOnly_ && appendTail(unsaved_);
    tailOnly_ = false;
    unsaved_ = 0;
    if (!appended) return save();
    fileInStep_ = true;
    return true;
}

bool UIDL::record(std::string_view identifier) {
    recordLater(identifier);
    return commit();
}

bool UIDL::appendTail(std::size_t n) {
    const UIDLEntry* from = last_;
    for (std::size_t k = 1; k < n && from; ++k) from = from->prev;
    if (!from) return false;
    plat::FilePtr file = plat::openFile(fileName_, "r+b");
    std::FILE* f = file.get();
    if (!f) return false;
    // The records go first and the count after them: until the count is written the file
    // still reads as the shorter list it was.
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    for (const UIDLEntry* e = from; e && ok; e = e->next) {
        const std::string& id = e->identifier;
        ok = id.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) &&
             store::writeInt32(f, static_cast<std::uint32_t>(id.size())) &&
             std::fwrite(id.data(), 1, id.size(), f) == id.size();
    }
    ok = ok && std::fflush(f) == 0 && std::fseek(f, 0, SEEK_SET) == 0 &&
         store::writeInt32(f, static_cast<std::uint32_t>(count_)) && plat::syncFile(f) == 0;
    return plat::closeFile(file) && ok;
}
