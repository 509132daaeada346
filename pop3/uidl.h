// UIDL: the unique identifiers of one POP3 account's messages that have already been retrieved,
// in insertion order, with the identifier file they are kept in between checks. The same class,
// without a file, is the retrieval's working list of the server's listing, which is why an
// entry also carries a message number and a flag that are never written to the file.
//
// Identifier file: 32-bit little-endian signed count, then per identifier a 32-bit
// little-endian signed length and that many bytes, no terminator. An empty list is the four
// bytes of a count 0.
//
// Entries are appended at the end and removed from the front only, so they never move while
// they are held: look-ups are hashed over views of their identifiers, and matching a listing
// of n identifiers costs n steps, not n².
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

// One identifier, owned by its list. Duplicates are kept.
struct UIDLEntry {
    std::string identifier;  // any bytes, compared byte for byte
    int messageNumber = 0;  // from the server's listing; 0 for recorded identifiers
    int flag = 0;  // the user's mark: recording sets 1
};

class UIDL {
public:
    using const_iterator = std::deque<UIDLEntry>::const_iterator;

    UIDL() = default;
    UIDL(const UIDL&) = delete;
    UIDL& operator=(const UIDL&) = delete;

    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    // The entries in insertion order.
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    // The entry at a 1-based position; position 1 or less gives the first. Null when empty or
    // past the end.
    const UIDLEntry* item(int position) const;
    const UIDLEntry* first() const { return item(1); }
    const UIDLEntry* last() const { return entries_.empty() ? nullptr : &entries_.back(); }
    // The first entry whose identifier equals identifier exactly, or null.
    const UIDLEntry* find(std::string_view identifier) const;
    // Appends an entry holding a copy of identifier; answers it. Entries already held stay
    // where they are: an entry's address holds until it is removed or the list cleared.
    const UIDLEntry& add(std::string_view identifier, int messageNumber, int flag);
    // Removes the first entry; an empty list stays empty.
    void removeFirst();
    void setFlag(int position, int flag);
    // Removes every entry; the file name stays.
    void clear();

    // Appends the identifiers of the file (number 0, flag 0) when it can be opened, and from
    // now on saves to it. A missing file leaves the list as it was, without a log line.
    void load(const std::string& fileName);
    // Writes the whole list to "<file>.tmp", flushes it to disk and renames it over the file,
    // so that a crash leaves either the old file or the new one, never a part. False (the old
    // file untouched) when it cannot be written.
    bool save();
    // Adds identifier (number 0, flag 1) and makes it durable: when the file on disk holds
    // exactly the list before the add, the entry is appended and the count updated in place,
    // then flushed; otherwise the whole list is saved. A crash in between leaves at worst the
    // older count, which still describes a sound file.
    bool record(std::string_view identifier);
    // record in two steps, for a batch: recordLater adds identifier (number 0, flag 1) to the
    // list only; commit makes every identifier added since the file was last in step durable,
    // appended in one write and one flush when the file held the list before them, otherwise
    // by saving the whole list.
    void recordLater(std::string_view identifier);
    bool commit();
    const std::string& fileName() const { return fileName_; }
    // Why the last save or commit that failed did so ("Operation not permitted", ...).
    std::string failure() const;

    // The file format, with the log lines of the identifier store. read stops at the first
    // field that cannot be read whole or is negative; the entries read so far stay.
    void read(std::FILE* f);
    bool write(std::FILE* f) const;

private:
    static constexpr std::uint64_t kNone = UINT64_MAX;

    bool noteFailure(int error);
    // Appends the last n entries and updates the count.
    bool appendTail(std::size_t n);
    // The list no longer matches the file.
    void changed();
    const UIDLEntry& at(std::uint64_t sequence) const { return entries_[sequence - frontSequence_]; }

    // Where the entries holding one identifier are, by sequence number (the position an entry
    // had when it was added, counting every entry the list ever held).
    struct Holders {
        std::uint64_t first;
        std::uint64_t last;
    };

    std::deque<UIDLEntry> entries_;
    // For each entry, the sequence number of the next entry with its identifier, or kNone.
    std::deque<std::uint64_t> nextHolder_;
    std::uint64_t frontSequence_ = 0;  // the sequence number of the first entry
    // Keys view the identifier of the first entry holding it.
    std::unordered_map<std::string_view, Holders> index_;
    std::string fileName_;
    bool fileInStep_ = false;  // the file holds exactly this list
    bool tailOnly_ = false;  // the file holds this list but for its last unsaved_ entries
    std::size_t unsaved_ = 0;
    int failure_ = 0;  // errno of the last failed save
};
