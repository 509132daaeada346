#include "frontend/mail/mail_rows.h"

#include "frontend/mail/row_cells.h"
#include "store/smtp_queue.h"

namespace views {

std::string accountDirectory(const std::string& destMailbox) {
    return "accounts/" + destMailbox;
}

void addDirectoryRows(const store::MailDrop& drop, const std::optional<std::string>& account,
                      HeaderCache& cache, std::vector<MailRow>& rows) {
    std::vector<std::string> names;
    std::vector<int> indexes;
    names.reserve(static_cast<std::size_t>(drop.count()));
    for (int i = 1; i <= drop.count(); ++i) {
        const std::string& name = drop.itemFileName(i);
        if (name.find(store::kRouteExtension) != std::string::npos) continue;
        names.push_back(name);
        indexes.push_back(i);
    }
    std::vector<HeaderCells> cells = cache.cells(drop.directory(), names);
    rows.reserve(rows.size() + names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        int i = indexes[k];
        MailRow row;
        row.account = account;
        row.received = std::move(cells[k].received);
        row.date = std::move(cells[k].date);
        row.from = std::move(cells[k].from);
        row.subject = std::move(cells[k].subject);
        row.to = std::move(cells[k].to);
        row.receivedAt = cells[k].receivedAt;
        if (!row.receivedAt && cells[k].storedAt > 0) row.receivedAt = cells[k].storedAt;
        row.dateAt = cells[k].dateAt;
        row.bytes = drop.itemSize(i);
        row.size = sizeCell(row.bytes);
        row.read = cells[k].read;   // queried now, as MailDrop::isRead does
        row.path = drop.itemPath(i);
        rows.push_back(std::move(row));
    }
}

}  // namespace views
