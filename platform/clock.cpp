#include "platform/clock.h"

#include <ctime>
#include <time.h>
#include <unistd.h>

namespace plat {

SystemTime utcNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::gmtime_r(&ts.tv_sec, &tm);
    return {tm.tm_year + 1900,
            tm.tm_mon + 1,
            tm.tm_mday,
            tm.tm_hour,
            tm.tm_min,
            tm.tm_sec,
            static_cast<int>(ts.tv_nsec / 1000000)};
}

bool localNow(std::tm& out) {
    std::time_t now = std::time(nullptr);
    return ::localtime_r(&now, &out) != nullptr;
}

bool localTimeAt(long long unixSeconds, std::tm& out, int& utcOffsetMinutes) {
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    ::tzset();
    if (!::localtime_r(&t, &out)) return false;
    utcOffsetMinutes = static_cast<int>(out.tm_gmtoff / 60);
    return true;
}

long long unixTime() {
    return static_cast<long long>(std::time(nullptr));
}

void sleepMs(int ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0) {}
}

long long monotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace plat
