// When the two schedule timers fire after a resume: a full period after the last account
// check, or 5 s from now when that moment has passed.
#pragma once

#include <cstdint>
#include <ctime>

struct ResumeDelays {
    std::int32_t elapsedSeconds;   // since the last check, as logged (before the one-day cap)
    std::uint32_t offlineMs;
    std::uint32_t onlineMs;
};

// now and lastCheck in seconds since 1970; elapsed is their difference as a signed 32-bit
// number. A negative one (a clock set back) gives 5 s for both; more than a day, or
// deliverOnResume, counts as exactly one day.
ResumeDelays resumeDelays(std::time_t now, std::uint32_t lastCheck, bool deliverOnResume,
                          std::uint32_t checkFreqLO, std::uint32_t checkFreqHI);

constexpr std::uint32_t kResumeSoonMs = 5000;
constexpr std::int32_t kOneDaySeconds = 86400;
