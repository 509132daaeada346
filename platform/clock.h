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

// The local time of a moment (seconds since 1970 UTC) and the zone's offset east of UTC in
// minutes at that moment, daylight saving included; false if it cannot be converted.
bool localTimeAt(long long unixSeconds, std::tm& out, int& utcOffsetMinutes);

// Seconds since 1 January 1970 UTC.
long long unixTime();

void sleepMs(int ms);

// Milliseconds of a monotonic clock, for measuring intervals.
long long monotonicMs();

}  // namespace plat
