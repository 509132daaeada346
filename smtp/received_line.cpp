#include "smtp/received_line.h"

#include "platform/clock.h"

#include <cstdio>
#include <cstdlib>

std::string receivedLine(const std::tm& local, int utcOffsetMinutes) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (local.tm_mon < 0 || local.tm_mon > 11) return {};
    char when[64];
    std::snprintf(when, sizeof when, "%02d %s %d %02d:%02d:%02d", local.tm_mday, kMonths[local.tm_mon],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    char line[160];
    // The sign is written on its own: a zone half an hour west of UTC is -0030, not +0030.
    int magnitude = std::abs(utcOffsetMinutes);
    std::snprintf(line, sizeof line, "Received: from localhost by localhost (Tarnwick MTA) ; %s %c%02d%02d", when,
                  utcOffsetMinutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return line;
}

std::string receivedLineAt(long long unixSeconds) {
    std::tm local{};
    int offset = 0;
    if (!plat::localTimeAt(unixSeconds, local, offset)) return {};
    return receivedLine(local, offset);
}

std::string receivedLineNow() {
    return receivedLineAt(plat::unixTime());
}
