#include "smtp/received_line.h"

#include "platform/clock.h"

#include <cstdio>
#include <cstdlib>

std::string receivedLine(const std::tm& local, int biasMinutes) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (local.tm_mon < 0 || local.tm_mon > 11) return {};
    char when[64];
    std::snprintf(when, sizeof when, "%02d %s %d %02d:%02d:%02d", local.tm_mday, kMonths[local.tm_mon],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    char line[160];
    std::snprintf(line, sizeof line, "Received: from localhost by localhost (Tarnwick MTA) ; %s %+03d%02d",
                  when, biasMinutes / -60, std::abs(biasMinutes % 60));
    return line;
}

std::string receivedLineNow() {
    std::tm local{};
    int bias = 0;
    if (!plat::localNow(local) || !plat::timeZoneBias(bias)) return {};
    return receivedLine(local, bias);
}
