#include "frontend/mail/mail_dates.h"

#include "frontend/mail/row_cells.h"

#include <QDateTime>
#include <QTime>

#include <cctype>
#include <charconv>
#include <cstring>
#include <string>

namespace views {

namespace {

void skipBlanks(std::string_view& s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
}

bool readNumber(std::string_view& s, int& out, std::size_t* digits = nullptr) {
    skipBlanks(s);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    if (ec != std::errc() || out < 0) return false;
    if (digits) *digits = static_cast<std::size_t>(end - s.data());
    s.remove_prefix(static_cast<std::size_t>(end - s.data()));
    return true;
}

std::string_view readWord(std::string_view& s) {
    skipBlanks(s);
    std::size_t n = 0;
    while (n < s.size() && std::isalpha(static_cast<unsigned char>(s[n]))) ++n;
    std::string_view word = s.substr(0, n);
    s.remove_prefix(n);
    return word;
}

bool sameWord(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// 1 to 12 from the month's English name or its first three letters; 0 for anything else.
int monthNumber(std::string_view word) {
    static const char* const names[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
    for (int m = 0; m < 12; ++m) {
        if (sameWord(word, names[m]) || (word.size() == 3 && sameWord(word, std::string(names[m], 3).c_str())))
            return m + 1;
    }
    return 0;
}

// The zone's offset east of UTC in seconds; UTC for a missing or unknown one.
int zoneOffset(std::string_view s) {
    skipBlanks(s);
    if (!s.empty() && (s.front() == '+' || s.front() == '-') && s.size() >= 5) {
        int sign = s.front() == '-' ? -1 : 1;
        int hhmm = 0;
        auto [end, ec] = std::from_chars(s.data() + 1, s.data() + 5, hhmm);
        if (ec == std::errc() && end == s.data() + 5 && hhmm % 100 < 60 && hhmm / 100 < 24)
            return sign * ((hhmm / 100) * 3600 + (hhmm % 100) * 60);
        return 0;
    }
    struct Named {
        const char* name;
        int hours;
    };
    static const Named named[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                  {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    std::string_view word = readWord(s);
    for (const Named& n : named) {
        if (sameWord(word, n.name)) return n.hours * 3600;
    }
    return 0;
}

}  // namespace

std::optional<std::int64_t> parseMailDate(std::string_view text) {
    if (std::size_t comma = text.find(','); comma != std::string_view::npos) text.remove_prefix(comma + 1);
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    std::size_t yearDigits = 0;
    if (!readNumber(text, day)) return std::nullopt;
    int month = monthNumber(readWord(text));
    if (month == 0 || !readNumber(text, year, &yearDigits) || !readNumber(text, hour)) return std::nullopt;
    if (text.empty() || text.front() != ':') return std::nullopt;
    text.remove_prefix(1);
    if (!readNumber(text, minute)) return std::nullopt;
    if (!text.empty() && text.front() == ':') {
        text.remove_prefix(1);
        if (!readNumber(text, second)) return std::nullopt;
    }
    if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
    else if (yearDigits == 3) year += 1900;
    QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    QDateTime utc(date, QTime(hour, minute, std::min(second, 59)), Qt::UTC);
    return utc.toSecsSinceEpoch() - zoneOffset(text);
}

QString dayAndMonthFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    qsizetype first = format.indexOf(QLatin1Char('y'));
    if (first < 0) return format;
    qsizetype last = first;
    while (last + 1 < format.size() && format[last + 1] == QLatin1Char('y')) ++last;
    auto separator = [&](qsizetype i) { return i >= 0 && i < format.size() && !format[i].isLetter(); };
    // The year goes with the separator that joins it to the day and month.
    if (first == 0) {
        while (separator(last + 1)) ++last;
    } else {
        while (separator(first - 1)) --first;
    }
    return format.remove(first, last - first + 1).trimmed();
}

QString listDateText(std::int64_t when, std::int64_t now, const QLocale& locale) {
    QDateTime local = QDateTime::fromSecsSinceEpoch(when);
    QDateTime today = QDateTime::fromSecsSinceEpoch(now);
    QString date = local.date().year() == today.date().year() ? locale.toString(local.date(), dayAndMonthFormat(locale))
                                                              : locale.toString(local.date(), QLocale::ShortFormat);
    return date + QLatin1Char(' ') + hoursAndMinutes(locale, local.time());
}

}  // namespace views
