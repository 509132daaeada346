#include "frontend/mail/column_layout.h"

#include "config/int32_slots.h"

namespace views {

namespace {

constexpr int kWidestColumn = 10000;

}  // namespace

config::ListColumns encodeColumnLayout(const ColumnLayout& layout) {
    config::ListColumns b{};
    for (int c = 0; c < kListColumnCount; ++c) {
        putInt32Slot(b, c, layout.widths[static_cast<std::size_t>(c)]);
        putInt32Slot(b, kListColumnCount + c, layout.positions[static_cast<std::size_t>(c)]);
    }
    putInt32Slot(b, 2 * kListColumnCount, layout.sortColumn);
    putInt32Slot(b, 2 * kListColumnCount + 1, layout.descending ? 1 : 0);
    return b;
}

std::optional<ColumnLayout> decodeColumnLayout(const config::ListColumns& b) {
    ColumnLayout layout;
    std::array<bool, kListColumnCount> seen{};
    for (int c = 0; c < kListColumnCount; ++c) {
        int width = getInt32Slot(b, c);
        int position = getInt32Slot(b, kListColumnCount + c);
        if (width < 0 || width > kWidestColumn || position < 0 || position >= kListColumnCount) return std::nullopt;
        if (seen[static_cast<std::size_t>(position)]) return std::nullopt;
        seen[static_cast<std::size_t>(position)] = true;
        layout.widths[static_cast<std::size_t>(c)] = width;
        layout.positions[static_cast<std::size_t>(c)] = position;
    }
    layout.sortColumn = getInt32Slot(b, 2 * kListColumnCount);
    int descending = getInt32Slot(b, 2 * kListColumnCount + 1);
    if (layout.sortColumn < 0 || layout.sortColumn >= kListColumnCount || (descending != 0 && descending != 1))
        return std::nullopt;
    layout.descending = descending == 1;
    return layout;
}

}  // namespace views
