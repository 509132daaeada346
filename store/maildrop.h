// MailDrop: a snapshot listing of one mailbox directory, its "*.rfc822" item files in
// directory order (not sorted), with sizes, ids and the read state at scan time. Built into
// both programs: the local POP3 server serves a mailbox from it, the front end lists mail and
// looks for unread items.
//
// Items are numbered from 1 to count(). Every per-item call checks its index: outside
// 1..count() it answers an empty string, 0, false, or "read", and changes nothing.
// The snapshot is never rescanned; a file that vanished later makes its calls fail quietly.
// MailDrop takes no lock; see store/item_lock.h for the mutex around reads and deletions.
#pragma once

#include "store/read_state.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace store {

struct MailDropItem {
    std::string id;  // decoded id (what the local POP3 server reports by UIDL)
    std::string ownerTag;  // still escaped; empty for a time-stamped name
    std::string fileName;  // without directory
    std::uint64_t size = 0;  // bytes
    bool deletionMark = false;  // in memory only (POP3 DELE); deleting is the owner's job
};

class MailDrop {
public:
    // Scans directory, given without a trailing separator. A missing or empty directory gives
    // an empty listing. Names beginning with "." are not listed.
    explicit MailDrop(const std::string& directory);

    int count() const { return static_cast<int>(items_.size()); }
    std::uint64_t totalSize() const { return totalSize_; }
    // Unread state as it was at scan time.
    bool hasUnread() const { return unreadCount_ > 0; }
    int unreadCount() const { return unreadCount_; }
    // The scanned directory with "/" appended.
    const std::string& directory() const { return directory_; }

    const MailDropItem* item(int i) const;
    const std::string& itemId(int i) const;
    const std::string& itemOwnerTag(int i) const;
    const std::string& itemFileName(int i) const;
    std::uint64_t itemSize(int i) const;
    bool deletionMark(int i) const;
    void mark(int i);
    void unmark(int i);
    // directory() + file name.
    std::string itemPath(int i) const;

    // Queries the file now, not the scan: true if read or if the query fails.
    bool isRead(int i) const;
    // See setItemRead; false for an index outside the listing.
    bool setRead(int i, ReadState state);

    // makeItemFileName on this listing's directory.
    std::string makeItemFileName(std::string_view owner, std::string_view id) const;

private:
    MailDropItem* at(int i);

    std::vector<MailDropItem> items_;
    std::uint64_t totalSize_ = 0;
    std::string directory_;
    int unreadCount_ = 0;
};

}  // namespace store
