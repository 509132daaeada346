// The day's log under a fixed clock, for tests that read what a component logged.
#pragma once

#include "log/debug.h"
#include "tests/support/temp_env.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace testsupport {

constexpr std::time_t kLogTime = 1700000000;

inline std::time_t fixedClock() {
    return kLogTime;
}

inline std::string logFileName() {
    std::time_t t = kLogTime;
    std::tm local{};
    localtime_r(&t, &local);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d.log", &local);
    return name;
}

inline std::string logText() {
    return readFile(logFileName());
}

// Fixes the log's clock and starts an empty day file.
inline void freshLog() {
    DebugLogSetClock(fixedClock);
    std::remove(logFileName().c_str());
}

}  // namespace testsupport
