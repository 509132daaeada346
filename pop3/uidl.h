// UIDL: the unique identifiers of one POP3 account's messages that have already been retrieved,
// in insertion order, with the identifier file they are kept in between checks. The same class,
// without a file, is the retrieval's working list of the server's listing, which is why an
// entry also carries a message number and a flag that are never written to the file.
//
// Identifier file: 32-bit little-endian signed count, then per identifier a 32-bit
// little-endian signed length and that many bytes, no terminator. An empty list is the four
// bytes of a count 0.
//
// Look-ups are hashed, so matching a listing of n identifiers costs n steps, not n².
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

// One identifier, owned by its list. Duplicates are kept.
struct UIDLEntry {
    UIDLEntry* prev = nullptr;
    UIDLEntry* next = nullptr;
    int flag = 0;             // the user's mark: the retrieval sets 1 for a message not seen before
    std::string identifier;   // any bytes, compared byte for byte
    int messageNumber = 0;    // from the server's listing; 0 for recorded identifiers
};

class UIDL {
public:
    UIDL() = default;
    ~UIDL();
    UIDL(const UIDL&) = delete;
    UIDL& operator=(const UIDL&) = delete;

    int count() const { return count_; }
    UIDLEntry* first() const { return first_; }
    UIDLEntry* last() const { return last_; }
    // The entry at a 1-based position; position 1 or less gives the first. Null when empty or
    // past the end. Walks the list.
    UIDLEntry* item(int position) const;
    // The first entry whose identifier equals identifier exactly, or null.
    UIDLEntry* find(std::string_view identifier) const;
    // Appends an entry holding a copy of identifier; answers it.
    UIDLEntry* add(std::string_view identifier, int messageNumber, int flag);
    // Unlinks and frees the entry; null does nothing.
    void remove(UIDLEntry* entry);
    void setFlag(int position, int flag);
    // Frees every entry; the file name stays.
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

    // The file format, with the log lines of the identifier store. read stops at the first
    // field that cannot be read whole or is negative; the entries read so far stay.
    void read(std::FILE* f);
    bool write(std::FILE* f) const;

private:
    // Appends the last n entries and updates the count.
    bool appendTail(std::size_t n);
    void unindex(UIDLEntry* entry);

    struct IndexSlot {
        UIDLEntry* first;   // the earliest entry with this identifier
        int count;          // how many entries hold it
    };

    UIDLEntry* first_ = nullptr;
    UIDLEntry* last_ = nullptr;
    std::string fileName_;
    int count_ = 0;
    // Keys view the identifiers of the entries, whose nodes never move.
    std::unordered_map<std::string_view, IndexSlot> index_;
    bool fileInStep_ = false;   // the file holds exactly this list
    bool tailOnly_ = false;     // the file holds this list but for its last unsaved_ entries
    std::size_t unsaved_ = 0;
};
