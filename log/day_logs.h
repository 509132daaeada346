// The day logs as trawlexctl and the front end read them: "YYYYMMDD.log" in the engine's data
// directory, one line "HHMMSS  CAT LEVL text" per event, written by the engine and the front end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A place in the logs: a day file and how much of it there was.
struct LogMark {
    std::string file;
    std::uintmax_t size = 0;
};

// Where the logs of dir end now: the newest day file and its size (no file: before them all).
LogMark markDayLogs(const std::string& dir);

// The HIGH lines written to dir's logs since mark: the rest of its day file and every later one.
std::vector<std::string> highLinesSince(const std::string& dir, const LogMark& mark);

// The newest HIGH line of dir's logs with its date, as "2026-12-08 07:15:03 MAIL HIGH text".
std::optional<std::string> lastHighLine(const std::string& dir);

// Whether a log line has the level HIGH.
bool isHighLine(const std::string& line);
