// AddrList: the SMTP envelope of one queued item (position 1 the reverse path, 2..n the
// recipients, 1-based), and its routing file, the item's name with ".route" appended.
//
// Routing file: 32-bit little-endian count N, then N times a 32-bit little-endian length L
// (at least 1) and L bytes of address; no header, padding or terminators. Addresses are bytes
// as the e-mail client sent them; no character set is implied.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace store {

class AddrList {
public:
    // Empties the list; the remembered path stays.
    void clear() { addresses_.clear(); }
    void append(std::string_view address) { addresses_.emplace_back(address); }
    int count() const { return static_cast<int>(addresses_.size()); }
    // The n-th address, 1-based; null outside 1..count().
    const std::string* address(int n) const;
    // The file last loaded from or saved to; empty before either.
    const std::string& path() const { return path_; }

    // Replaces the list with the routing file at path. A file that cannot be opened logs
    // "FAILED TO LOAD ADDRLIST - OPEN PROBLEM : <path>" and leaves the list empty. A count or
    // length that is negative, zero (lengths), or more than the rest of the file holds, and
    // any short read, log "FAILED TO LOAD ADDRLIST - READ PROBLEM : <path>"; the addresses read
    // before it stay. Memory is never sized from what the file claims. True on success.
    bool load(const std::string& path);

    // Writes the list to path (truncating), flushed to disk before it answers, since the local
    // SMTP server tells its peer the message is safe once this succeeds. Logs the OPEN or
    // WRITE PROBLEM line ("FAILED TO SAVE ADDRLIST - ...") on failure. True on success.
    [[nodiscard]] bool save(const std::string& path);

private:
    std::vector<std::string> addresses_;
    std::string path_;
};

}  // namespace store
