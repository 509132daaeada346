// When the views may be rebuilt again. The engine reports every retrieved item, so a big
// retrieval sends hundreds of engine notices; rebuilding a large mailbox for each would keep the
// window busy for minutes. A refresh is run at once when the views have been idle for
// kIdleFactor times as long as the last refresh took; otherwise one refresh is run when that
// time is up, for all the notices that came meanwhile. Small mailboxes refresh at once.
#pragma once

#include <cstdint>

namespace views {

class RefreshPacer {
public:
    static constexpr std::int64_t kIdleFactor = 4;  // busy at most a fifth of the time

    // Milliseconds to wait before refreshing, at time nowMs; 0: refresh now.
    std::int64_t delayAt(std::int64_t nowMs) const { return nowMs >= nextAtMs_ ? 0 : nextAtMs_ - nowMs; }
    // A refresh ended at endMs after taking tookMs.
    void refreshed(std::int64_t endMs, std::int64_t tookMs) { nextAtMs_ = endMs + tookMs * kIdleFactor; }

private:
    std::int64_t nextAtMs_ = 0;
};

}  // namespace views
