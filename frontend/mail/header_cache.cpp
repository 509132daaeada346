#include "frontend/mail/header_cache.h"

#include "frontend/mail/encoded_words.h"
#include "frontend/mail/mail_dates.h"
#include "frontend/mail/rfc822_mail_header.h"
#include "frontend/mail/row_cells.h"
#include "log/debug.h"
#include "store/item_lock.h"

#include <chrono>
#include <cstring>

namespace views {

namespace {

std::int64_t nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

// What the list shows of a cell: its encoded words decoded (the file is not touched).
std::optional<std::string> decoded(std::optional<std::string> cell) {
    if (cell) *cell = mail::decodeHeaderValue(*cell);
    return cell;
}

bool settled(const plat::FileStamp& s, std::int64_t now, std::int64_t settleNs) {
    return now - s.modifiedNs >= settleNs && now - s.changedNs >= settleNs;
}

}  // namespace

HeaderCells readHeaderCells(const std::string& path, bool lockHeld) {
    RFC822MailHeader header(path, lockHeld ? RFC822MailHeader::Locking::AlreadyHeld : RFC822MailHeader::Locking::Take);
    HeaderCells c;
    const char* received = header.value(RFC822MailHeader::kReceived);
    const char* date = header.value(RFC822MailHeader::kDate);
    c.received = receivedCell(received);
    c.date = dateCell(date);
    if (const char* semicolon = received ? std::strchr(received, ';') : nullptr)
        c.receivedAt = parseMailDate(semicolon + 1);
    if (date) c.dateAt = parseMailDate(date);
    c.from = decoded(plainCell(header.value(RFC822MailHeader::kFrom)));
    c.subject = decoded(plainCell(header.value(RFC822MailHeader::kSubject)));
    c.to = decoded(toCell(header.value(RFC822MailHeader::kTo)));
    return c;
}

std::vector<HeaderCells> HeaderCache::cells(const std::string& directory, const std::vector<std::string>& fileNames) {
    Entries& old = directories_[directory];
    Entries fresh;
    fresh.reserve(fileNames.size());
    std::vector<HeaderCells> out(fileNames.size());
    std::vector<std::size_t> misses;
    std::vector<plat::FileStamp> stamps(fileNames.size());
    std::vector<bool> stamped(fileNames.size(), false);

    for (std::size_t i = 0; i < fileNames.size(); ++i) {
        stamped[i] = plat::fileStamp(directory + fileNames[i], stamps[i]);
        auto it = old.find(fileNames[i]);
        if (stamped[i] && it != old.end() && it->second.stamp == stamps[i]) {
            out[i] = it->second.cells;
            out[i].read = stamps[i].readOnly;
            out[i].storedAt = stamps[i].modifiedNs / 1'000'000'000;
            fresh.emplace(fileNames[i], std::move(it->second));
        } else {
            misses.push_back(i);
        }
    }

    // Everything unknown or changed is read in batches, each under one hold of the lock.
    const std::int64_t began = nowNs();
    for (std::size_t first = 0; first < misses.size(); first += kBatch) {
        store::MailItemLock lock(0, LOG_MED, "FAILED to create MUTEX for RFC822MailHeader::readHeaders");
        std::size_t last = std::min(misses.size(), first + kBatch);
        for (std::size_t k = first; k < last; ++k) {
            std::size_t i = misses[k];
            out[i] = readHeaderCells(directory + fileNames[i], true);
            out[i].read = !stamped[i] || stamps[i].readOnly;
            if (stamped[i]) out[i].storedAt = stamps[i].modifiedNs / 1'000'000'000;
            ++filesRead_;
            if (stamped[i] && settled(stamps[i], began, settleNs_))
                fresh.emplace(fileNames[i], Entry{stamps[i], out[i]});
        }
    }
    old = std::move(fresh);
    return out;
}

std::size_t HeaderCache::size() const {
    std::size_t n = 0;
    for (const auto& [dir, entries] : directories_) n += entries.size();
    return n;
}

}  // namespace views
