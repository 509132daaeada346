#include "frontend/mail/mail_rows.h"

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
        MailRow row{account, std::move(cells[k]), drop.itemSize(indexes[k]), drop.itemPath(indexes[k])};
        if (!row.header.receivedAt && row.header.storedAt > 0) row.header.receivedAt = row.header.storedAt;
        rows.push_back(std::move(row));
    }
}

}  // namespace views
