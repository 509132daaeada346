#include "pop3/uidl.h"

#include "platform/files.h"
#include "log/debug.h"
#include "store/binary_io.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

const UIDLEntry* UIDL::item(int position) const {
    if (entries_.empty()) return nullptr;
    if (position <= 1) return &entries_.front();
    std::size_t k = static_cast<std::size_t>(position) - 1;
    return k < entries_.size() ? &entries_[k] : nullptr;
}

const UIDLEntry* UIDL::find(std::string_view identifier) const {
    auto it = index_.find(identifier);
    return it == index_.end() ? nullptr : &at(it->second.first);
}

const UIDLEntry& UIDL::add(std::string_view identifier, int messageNumber, int flag) {
    std::uint64_t sequence = frontSequence_ + entries_.size();
    UIDLEntry& e = entries_.emplace_back(UIDLEntry{std::string(identifier), messageNumber, flag});
    nextHolder_.push_back(kNone);
    auto [it, inserted] = index_.try_emplace(std::string_view(e.identifier), Holders{sequence, sequence});
    if (!inserted) {
        nextHolder_[it->second.last - frontSequence_] = sequence;
        it->second.last = sequence;
    }
    changed();
    return e;
}

void UIDL::removeFirst() {
    if (entries_.empty()) return;
    auto it = index_.find(entries_.front().identifier);
    std::uint64_t next = nextHolder_.front();
    if (next == kNone) {
        index_.erase(it);
    } else {
        // The key views the departing entry's text: it moves to the next holder's.
        Holders holders{next, it->second.last};
        index_.erase(it);
        index_.emplace(std::string_view(at(next).identifier), holders);
    }
    entries_.pop_front();
    nextHolder_.pop_front();
    ++frontSequence_;
    changed();
}

void UIDL::setFlag(int position, int flag) {
    if (entries_.empty()) return;
    std::size_t k = position <= 1 ? 0 : static_cast<std::size_t>(position) - 1;
    if (k < entries_.size()) entries_[k].flag = flag;
}

void UIDL::clear() {
    index_.clear();
    entries_.clear();
    nextHolder_.clear();
    frontSequence_ = 0;
    changed();
}

void UIDL::changed() {
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
    DebugLineInt(LOG_APP, LOG_LOW, "UIDL writing items =", count());
    if (!f) {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - NULL file handler");
        return false;
    }
    bool ok = true;
    auto fail = [&ok] {
        DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - fwrite error");
        ok = false;
    };
    if (!store::writeInt32(f, static_cast<std::uint32_t>(count()))) fail();
    for (const UIDLEntry& e : entries_) {
        if (e.identifier.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            fail();
            continue;
        }
        if (!store::writeInt32(f, static_cast<std::uint32_t>(e.identifier.size()))) fail();
        if (std::fwrite(e.identifier.data(), 1, e.identifier.size(), f) != e.identifier.size()) fail();
    }
    return ok;
}

bool UIDL::save() {
    if (fileName_.empty()) return false;
    failure_ = 0;
    std::string temporary = fileName_ + ".tmp";
    plat::FilePtr f = plat::openFile(temporary, "wb");
    if (!f) return noteFailure(errno);
    bool ok = write(f.get());
    if (!ok) failure_ = errno ? errno : EIO;
    // A write that fails only when the buffer reaches the disk (a full disk) counts as well.
    if (ok) {
        if (int error = plat::syncFile(f.get())) {
            DebugLine(LOG_APP, LOG_HIGH, "UIDL - FAIL - fwrite error");
            ok = noteFailure(error);
        }
    }
    if (!plat::closeFile(f) && ok) ok = noteFailure(errno ? errno : EIO);
    if (ok && std::rename(temporary.c_str(), fileName_.c_str()) != 0) ok = noteFailure(errno);
    if (!ok) {
        std::remove(temporary.c_str());
        return false;
    }
    // The new name lasts only once its folder is on disk; until then the list is not in step.
    if (int error = plat::syncDirectoryOf(fileName_)) {
        fileInStep_ = false;
        tailOnly_ = false;
        return noteFailure(error);
    }
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

bool UIDL::noteFailure(int error) {
    failure_ = error;
    return false;
}

std::string UIDL::failure() const {
    return failure_ ? std::strerror(failure_) : "unknown error";
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
    if (n == 0 || n > entries_.size()) return false;
    plat::FilePtr file = plat::openFile(fileName_, "r+b");
    std::FILE* f = file.get();
    if (!f) return false;
    // The records go first and the count after them: until the count is written the file
    // still reads as the shorter list it was.
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    for (auto e = entries_.end() - static_cast<std::ptrdiff_t>(n); e != entries_.end() && ok; ++e) {
        const std::string& id = e->identifier;
        ok = id.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) &&
             store::writeInt32(f, static_cast<std::uint32_t>(id.size())) &&
             std::fwrite(id.data(), 1, id.size(), f) == id.size();
    }
    ok = ok && std::fflush(f) == 0 && std::fseek(f, 0, SEEK_SET) == 0 &&
         store::writeInt32(f, static_cast<std::uint32_t>(count())) && plat::syncFile(f) == 0;
    return plat::closeFile(file) && ok;
}
