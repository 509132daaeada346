// Dates of mail headers as the list shows and sorts them: an RFC 2822 date read into a moment
// (seconds since 1970, UTC), and a moment shown in local time in the user's locale, hours and
// minutes only, with the year only when it is not this year's.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace views {

// "Sun, 06 Dec 1998 10:05:33 +0100" (weekday, seconds and zone optional; a two-digit year is
// 19xx from 50 on, 20xx below; zones as numbers or the names UT, GMT, Z and the North
// American ones, an unknown one read as UTC). Nothing when it cannot be read.
std::optional<std::int64_t> parseMailDate(std::string_view text);

// The locale's short date format without its year ("M/d" for "M/d/yy", "dd.MM" for "dd.MM.yy").
QString dayAndMonthFormat(const QLocale& locale);

// when in local time: "dd.MM 10:05" this year (the year of now), "06.12.98 10:05" otherwise,
// in the locale's formats.
QString listDateText(std::int64_t when, std::int64_t now, const QLocale& locale);

}  // namespace views
