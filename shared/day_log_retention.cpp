#include "log/day_log_retention.h"

#include "platform/files.h"
#include "log/debug.h"
#include "config/settings.h"

#include <optional>

namespace {

bool isLeapYear(long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(long y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (calendar arithmetic, no time zone).
long dayNumber(long y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The day number of a day log's name "YYYYMMDD.log", none for any other name.
std::optional<long> dayOfLogName(const std::string& name) {
    if (name.size() != 12 || name.compare(8, 4, ".log") != 0) return std::nullopt;
    long digits[8];
    for (int i = 0; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
        digits[i] = name[i] - '0';
    }
    const long y = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int m = static_cast<int>(digits[4] * 10 + digits[5]);
    const int d = static_cast<int>(digits[6] * 10 + digits[7]);
    if (m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return std::nullopt;
    return dayNumber(y, m, d);
}

std::optional<long> localDay(std::time_t now) {
    std::tm local{};
    if (!localtime_r(&now, &local)) return std::nullopt;
    return dayNumber(local.tm_year + 1900L, local.tm_mon + 1, local.tm_mday);
}

int pruneBefore(const std::string& dir, long today, unsigned keepDays) {
    int removed = 0;
    for (const plat::DirEntry& entry : plat::listFiles(dir, ".log")) {
        const std::optional<long> day = dayOfLogName(entry.name);
        if (!day || today - *day <= static_cast<long>(keepDays)) continue;
        const std::string path = dir.empty() ? entry.name : dir + "/" + entry.name;
        if (int err = plat::deleteFile(path)) {
            DebugLineStr(LOG_APP, LOG_HIGH, "Unable to remove old day log :",
                         (entry.name + " (errno " + std::to_string(err) + ")").c_str());
            continue;
        }
        DebugLineStr(LOG_APP, LOG_MED, "Removed old day log :", entry.name.c_str());
        ++removed;
    }
    return removed;
}

}  // namespace

int removeOldDayLogs(const std::string& dir, std::time_t now, unsigned keepDays) {
    const std::optional<long> today = localDay(now);
    if (keepDays == 0 || !today) return 0;
    return pruneBefore(dir, *today, keepDays);
}

void DayLogKeeper::atStartup(std::time_t now) {
    if (std::optional<long> today = localDay(now)) prune(*today);
}

void DayLogKeeper::atCycleStart(std::time_t now) {
    std::optional<long> today = localDay(now);
    if (today && *today != lastDay_) prune(*today);
}

void DayLogKeeper::prune(long today) {
    lastDay_ = today;
    if (unsigned keepDays = config::readSetting(config::kLogKeepDays)) pruneBefore(dir_, today, keepDays);
}
