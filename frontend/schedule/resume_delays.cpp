#include "frontend/schedule/resume_delays.h"

namespace {

std::uint32_t delayFor(std::uint32_t periodMs, std::uint32_t ms) {
    return ms <= periodMs ? periodMs - ms : kResumeSoonMs;
}

}  // namespace

ResumeDelays resumeDelays(std::time_t now, std::uint32_t lastCheck, bool deliverOnResume,
                          std::uint32_t checkFreqLO, std::uint32_t checkFreqHI) {
    // Wrapping arithmetic on purpose: the difference of two 32-bit second counts.
    auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - lastCheck);
    // A clock set back makes elapsed negative: the last check is "long ago", so both timers
    // fire soon. (Multiplying a negative count as unsigned would wrap to a small number for
    // some values and leave the schedule waiting nearly a whole period.)
    if (elapsed < 0) return {elapsed, kResumeSoonMs, kResumeSoonMs};
    std::int32_t counted = elapsed;
    if (counted > kOneDaySeconds || deliverOnResume) counted = kOneDaySeconds;
    auto ms = static_cast<std::uint32_t>(counted) * 1000u;   // at most 86 400 000
    return {elapsed, delayFor(checkFreqLO, ms), delayFor(checkFreqHI, ms)};
}
