// The trace line the local SMTP server puts first in every item it takes in.
#pragma once

#include <ctime>
#include <string>

// "Received: from localhost by localhost (Tarnwick MTA) ; 07 Dec 2026 09:08:07 +0100" for a
// local time and the zone's offset east of UTC in minutes at that time (summer time included,
// so the stamp names the moment it shows). Month names are English whatever the locale.
std::string receivedLine(const std::tm& local, int utcOffsetMinutes);

// The line for a moment (seconds since 1970 UTC) in the local zone; empty if it cannot be read.
std::string receivedLineAt(long long unixSeconds);
std::string receivedLineNow();
