// Wall-clock helpers.
#pragma once

#include <ctime>

namespace plat {

struct SystemTime {
    int year, month, day, hour, minute, second, millisecond;
};

// The current UTC time with milliseconds.
SystemTime utcNow();

// The current local time; false if it cannot be converted.
bool localNow(std::tm& out);

// Standard-time bias in minutes (UTC = local time + bias); false if the zone is unknown.
bool timeZoneBias(int& biasMinutes);

// Seconds since 1 January 1970 UTC.
long long unixTime();

void sleepMs(int ms);

// Milliseconds of a monotonic clock, for measuring intervals.
long long monotonicMs();

}  // namespace plat
