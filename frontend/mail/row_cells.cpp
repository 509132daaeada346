#include "frontend/mail/row_cells.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace views {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void skipBlanks(std::string_view& s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
}

// A decimal number with an optional sign after optional white space, as scanf's %d reads it.
// A number too big for an int makes the whole date unreadable rather than wrap.
bool readNumber(std::string_view& s, int& out) {
    skipBlanks(s);
    std::string_view digits = s;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits.front()))) return false;
    }
    const char* last = digits.data() + digits.size();
    auto [end, ec] = std::from_chars(digits.data(), last, out);
    if (ec != std::errc()) return false;
    s = std::string_view(end, static_cast<std::size_t>(last - end));
    return true;
}

// A word of non-blank characters after optional white space, at most kLongestMonthWord long.
bool readWord(std::string_view& s, std::string& out) {
    skipBlanks(s);
    std::size_t n = 0;
    while (n < s.size() && !isBlank(s[n])) ++n;
    if (n == 0 || n > kLongestMonthWord) return false;
    out.assign(s.substr(0, n));
    s.remove_prefix(n);
    return true;
}

}  // namespace

std::string formatDateCell(std::string_view text) {
    if (std::size_t comma = text.find(','); comma != std::string_view::npos) text.remove_prefix(comma + 1);
    int day = 0, year = 0, hour = 0, minute = 0;
    std::string month;
    if (!readNumber(text, day) || !readWord(text, month) || !readNumber(text, year) || !readNumber(text, hour))
        return {};
    if (text.empty() || text.front() != ':') return {};
    text.remove_prefix(1);
    if (!readNumber(text, minute)) return {};
    char cell[64];
    std::snprintf(cell, sizeof cell, "%02d %3s %02d:%02d", day, month.c_str(), hour, minute);
    return cell;
}

std::optional<std::string> receivedCell(const char* receivedValue) {
    if (!receivedValue) return std::nullopt;
    const char* semicolon = std::strchr(receivedValue, ';');
    if (!semicolon) return std::nullopt;
    return formatDateCell(semicolon + 1);
}

std::optional<std::string> dateCell(const char* dateValue) {
    if (!dateValue) return std::nullopt;
    return formatDateCell(dateValue);
}

std::optional<std::string> plainCell(const char* value) {
    if (!value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> toCell(const char* toValue) {
    if (!toValue) return std::nullopt;
    if (std::strlen(toValue) > kLongestToShown)
        return QCoreApplication::translate("MailList", "(Multiple recipients)").toStdString();
    return std::string(toValue);
}

std::string cutUtf8(std::string text, std::size_t max) {
    if (text.size() > max) {
        std::size_t cut = max;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return text;
}

std::string sizeCell(std::uint64_t bytes) {
    char cell[64];
    std::snprintf(cell, sizeof cell, "%.2f KB", static_cast<double>(bytes) / 1024.0);
    return cell;
}

QString hoursAndMinutes(const QLocale& locale, const QTime& time) {
    // The seconds field with the separator before it (and any fraction after it) goes.
    static const QRegularExpression seconds(QStringLiteral("[^hHmaApPt']*s+(\\.z+)?"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return locale.toString(time, format.trimmed());
}

TimeAndDate lastCheckTexts(std::time_t last, const QLocale& locale) {
    if (last == 0) return {};
    QDateTime when = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(last));
    return {hoursAndMinutes(locale, when.time()), locale.toString(when.date(), QLocale::ShortFormat)};
}

}  // namespace views
