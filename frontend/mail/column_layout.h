// The mail list's columns as the user left them: widths, the order they stand in and the column
// the list is sorted by, kept in the registry value "ListColumns" as sixteen little-endian
// 32-bit integers: seven widths, seven positions (for columns 0 to 6), the sort column and 1
// for a descending sort.
#pragma once

#include "config/settings.h"

#include <array>
#include <optional>

namespace views {

inline constexpr int kListColumnCount = 7;
inline constexpr int kDateColumn = 1;
inline constexpr int kSubjectColumn = 3;

struct ColumnLayout {
    std::array<int, kListColumnCount> widths{};  // 0: the default width
    std::array<int, kListColumnCount> positions{0, 1, 2, 3, 4, 5, 6};  // visual index of each column
    int sortColumn = kDateColumn;  // the newest first
    bool descending = true;
};

config::ListColumns encodeColumnLayout(const ColumnLayout& layout);
// Nothing for stored bytes that make no layout (positions that are no order of the columns, a
// sort column or width out of range), so a damaged value falls back to the defaults.
std::optional<ColumnLayout> decodeColumnLayout(const config::ListColumns& bytes);

}  // namespace views
