// The header cells of listed mail items, kept between refreshes so that a big mailbox is not
// re-read every time. An entry is keyed by the item's path and the file's stamp (identity,
// size, modification and status-change times) and is used only while the file still has that
// stamp, so what the list shows is never older than the file.
//
// A file changed twice within one tick of the file system's clock could keep its stamp; so an
// entry is kept only for a file whose times were already settled (kSettleNs in the past) when
// it was read. Files younger than that, or dated in the future, are read on every refresh.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace views {

// What the list shows of one item's header; std::nullopt is a missing header ("-").
struct HeaderCells {
    std::optional<std::string> received;
    std::optional<std::string> date;
    std::optional<std::string> from;
    std::optional<std::string> subject;
    std::optional<std::string> to;
    // The moments of the "Received" and "Date" headers (seconds since 1970) when readable.
    std::optional<std::int64_t> receivedAt;
    std::optional<std::int64_t> dateAt;
    // When the file was last written: when the item was stored (not cached, like read).
    std::int64_t storedAt = 0;
    // The item's read state, taken with its stamp (not cached): read when the query fails.
    bool read = true;
};

// Reads the header of path (taking "MAILITEMREAD" unless the caller holds it).
HeaderCells readHeaderCells(const std::string& path, bool lockHeld = false);

class HeaderCache {
public:
    static constexpr std::int64_t kSettleNs = 2'000'000'000;
    // How many unread headers are read under one hold of "MAILITEMREAD": the engine waits at
    // most that long to delete an item.
    static constexpr std::size_t kBatch = 256;

    // settleNs: how old a file's times must be before its entry is kept (tests shorten it).
    explicit HeaderCache(std::int64_t settleNs = kSettleNs) : settleNs_(settleNs) {}

    // The cells of the items directory + fileNames[i], in order. The directory's entries are
    // replaced by those of fileNames, so files that left the directory leave the cache too.
    std::vector<HeaderCells> cells(const std::string& directory, const std::vector<std::string>& fileNames);

    // Headers read from files since the cache was made (for tests and the benchmark).
    std::size_t filesRead() const { return filesRead_; }
    std::size_t size() const;

private:
    struct Entry {
        plat::FileStamp stamp;
        HeaderCells cells;
    };
    using Entries = std::unordered_map<std::string, Entry>;  // by file name

    std::unordered_map<std::string, Entries> directories_;
    std::int64_t settleNs_;
    std::size_t filesRead_ = 0;
};

}  // namespace views
