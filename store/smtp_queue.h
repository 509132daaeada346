// SMTPQueue: a snapshot listing of the outgoing queue directory. A queued item is a pair, the
// item file and its routing file (item name + ".route"); the queue lists routing files, so an
// item is seen only once both are in place (the routing file is moved in last). Entries are
// numbered from 1 to count(), in directory order; calls outside that range answer empty
// paths and do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace store {

inline constexpr char kRouteExtension[] = ".route";

class SMTPQueue {
public:
    struct Entry {
        std::string baseName;  // the item file's name: the routing file's, ".route" removed
        std::uint64_t routingSize = 0;  // bytes of the routing file
    };

    // Scans directory, given without a trailing separator ("outgoing/" works too).
    explicit SMTPQueue(const std::string& directory);

    int count() const { return static_cast<int>(entries_.size()); }
    // The scanned directory with "/" appended.
    const std::string& directory() const { return directory_; }
    const Entry* entry(int i) const;
    // directory() + base name: the mail item file.
    std::string itemPath(int i) const;
    // directory() + base name + ".route".
    std::string routingPath(int i) const;
    // Deletes the routing file, then the item file; either may already be gone, any other
    // failure is logged. Answers true for every listed entry.
    bool deleteItem(int i);

private:
    std::vector<Entry> entries_;
    std::string directory_;
};

}  // namespace store
