#include "pop3/login_throttle.h"

#include "platform/clock.h"

#include <algorithm>

using namespace plat;

namespace {
constexpr char kThrottleClass[] = "LOGINTHROTTLECLASS";
constexpr WPARAM kDueTimer = 1;
}  // namespace

LoginThrottle::LoginThrottle(HWND owner) {
    if (!isClassRegistered(kThrottleClass)) (void)registerClass(kThrottleClass, &LoginThrottle::procedure);
    window_ = createWindow(kThrottleClass, "", owner);
    if (window_) setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

LoginThrottle::~LoginThrottle() {
    if (window_ && isWindow(window_)) {
        killTimer(window_, kDueTimer);
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
    unregisterClass(kThrottleClass);   // fails harmlessly while another throttle has a window
}

LoginThrottle::Ticket LoginThrottle::whenCheckAllowed(std::function<void()> check) {
    long long now = monotonicMs();
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
    return at(monotonicMs() + kFailureDelayMs, std::move(answer), false);
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

LRESULT LoginThrottle::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LoginThrottle*>(getWindowLongPtr(hwnd));
    if (self && msg == WM_TIMER && wParam == kDueTimer) {
        self->runDue();
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

void LoginThrottle::runDue() {
    // One at a time from the front: a callback may add or cancel others.
    while (!due_.empty() && due_.begin()->first <= monotonicMs()) {
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
    if (!window_) return;
    if (due_.empty()) {
        killTimer(window_, kDueTimer);
        return;
    }
    long long wait = due_.begin()->first - monotonicMs();
    setTimer(window_, kDueTimer, static_cast<unsigned>(std::max(1LL, wait)));
}
