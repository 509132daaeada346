// The trace line the local SMTP server puts first in every item it takes in.
#pragma once

#include <ctime>
#include <string>

// "Received: from localhost by localhost (Tarnwick MTA) ; 07 Dec 2026 09:08:07 +0100" for the
// local time and the standard-time bias in minutes (UTC = local time + bias). Month names are
// English whatever the locale.
std::string receivedLine(const std::tm& local, int biasMinutes);

// The line for now; empty if the time or the time zone cannot be read.
std::string receivedLineNow();
