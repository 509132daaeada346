// The texts of the mail list's cells, built from header values: no widget, no file. A cell
// that is "missing" (std::nullopt) shows as "-"; an empty one shows nothing.
#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace views {

// A "To" value longer than this many bytes shows as "(Multiple recipients)".
inline constexpr std::size_t kLongestToShown = 128;
// The longest month word a date may carry; a longer word makes the date unreadable.
inline constexpr std::size_t kLongestMonthWord = 19;

// "06 Dec 10:05" from "Sun, 06 Dec 1998 10:05:33 +0100" (the part after the first ',', if
// any, read as day, month word, year, hour ':' minute); empty when those five are not there.
// Year, seconds and zone are not shown; the month word is shown as written.
std::string formatDateCell(std::string_view text);

// The "Received" column: the date after the first ';' of the newest "Received" header;
// missing without a header or without a ';'.
std::optional<std::string> receivedCell(const char* receivedValue);
// The "Date" column: missing without a "Date" header.
std::optional<std::string> dateCell(const char* dateValue);
// "From" and "Subject" as they stand; missing without the header.
std::optional<std::string> plainCell(const char* value);
// "To", or "(Multiple recipients)" for a value longer than kLongestToShown.
std::optional<std::string> toCell(const char* toValue);
// text cut to at most max bytes, never in the middle of a UTF-8 character.
std::string cutUtf8(std::string text, std::size_t max);
// "%.2f KB" of the size in bytes.
std::string sizeCell(std::uint64_t bytes);

// A time of day as the locale writes it, hours and minutes only (the C locale's short format
// has seconds too).
QString hoursAndMinutes(const QLocale& locale, const QTime& time);

// The time (hours and minutes) and date of the last check (seconds since 1970) in the locale's
// short formats, as the status bar and the tray tip show them; both empty when no check has
// run (0).
struct TimeAndDate {
    QString time;
    QString date;
};
TimeAndDate lastCheckTexts(std::time_t last, const QLocale& locale);

}  // namespace views
