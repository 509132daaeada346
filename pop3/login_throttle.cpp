#include "pop3/login_throttle.h"

#include "platform/clock.h"
#include "log/debug.h"

#include <algorithm>

LoginThrottle::LoginThrottle() : timer_([this] { runDue(); }) {}

LoginThrottle::Ticket LoginThrottle::whenCheckAllowed(std::function<void()> check) {
    long long now = plat::monotonicMs();
    long long turn = std::max(now, nextCheckMs_);
    nextCheckMs_ = turn + kCheckSpacingMs;
    if (turn <= now) {
        lastTurnMs_ = turn;
        check();
        return 0;
    }
    return at(turn, std::move(check), true);
}

LoginThrottle::Ticket LoginThrottle::afterFailureDelay(std::function<void()> answer) {
    return at(plat::monotonicMs() + kFailureDelayMs, std::move(answer), false);
}

void LoginThrottle::cancel(Ticket ticket) {
    auto it = callbacks_.find(ticket);
    if (it == callbacks_.end()) return;
    due_.erase({it->second.dueMs, ticket});
    if (it->second.check) {
        turns_.erase(turns_.find(it->second.dueMs));
        long long last = turns_.empty() ? lastTurnMs_ : std::max(lastTurnMs_, *turns_.rbegin());
        nextCheckMs_ = last + kCheckSpacingMs;
    }
    callbacks_.erase(it);
    arm();
}

LoginThrottle::Ticket LoginThrottle::at(long long dueMs, std::function<void()> callback, bool check) {
    Ticket ticket = ++lastTicket_;
    due_.insert({dueMs, ticket});
    if (check) turns_.insert(dueMs);
    callbacks_.emplace(ticket, Waiting{dueMs, check, std::move(callback)});
    arm();
    return ticket;
}

void LoginThrottle::runDue() {
    // One at a time from the front: a callback may add or cancel others.
    while (!due_.empty() && due_.begin()->first <= plat::monotonicMs()) {
        Ticket ticket = due_.begin()->second;
        due_.erase(due_.begin());
        auto it = callbacks_.find(ticket);
        std::function<void()> callback = std::move(it->second.callback);
        if (it->second.check) {
            turns_.erase(turns_.find(it->second.dueMs));
            lastTurnMs_ = it->second.dueMs;
        }
        callbacks_.erase(it);
        callback();
    }
    arm();
}

void LoginThrottle::arm() {
    if (due_.empty()) {
        timer_.stop();
        return;
    }
    long long wait = due_.begin()->first - plat::monotonicMs();
    // Without the timer nothing waiting would ever run: the waiting sessions would hang until
    // their peers give up. Say so; the next arming tries again.
    if (!timer_.start(static_cast<unsigned>(std::max(1LL, wait))))
        DebugLine(LOG_APP, LOG_HIGH, "Unable to set the log-in throttle's timer");
}
