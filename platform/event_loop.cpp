#include "platform/event_loop.h"
#include "platform/event_ptr.h"

#include "platform/fault_hooks.h"
#include "platform/loop_internal.h"
#include "platform/window.h"

#include <event2/event.h>

#include <map>
#include <memory>
#include <utility>

namespace plat {
namespace {

struct Timer {
    EventPtr ev;
    HWND hwnd;
    WPARAM id;
};

struct Watch {
    EventPtr ev;
    FdHandler handler;
};

struct LoopState {
    event_base* base = nullptr;
    std::map<std::pair<HWND, WPARAM>, std::unique_ptr<Timer>> timers;
    std::map<int, std::unique_ptr<Watch>> watches;
    int nextWatch = 1;
};

LoopState& loop() {
    static LoopState s;
    return s;
}

void onTimer(evutil_socket_t, short, void* arg) {
    auto* t = static_cast<Timer*>(arg);
    detail::enqueue({t->hwnd, WM_TIMER, t->id, 0, 0});
}

void onWatch(evutil_socket_t, short, void* arg) {
    int id = static_cast<int>(reinterpret_cast<std::intptr_t>(arg));
    auto it = loop().watches.find(id);
    if (it == loop().watches.end()) return;
    FdHandler handler = it->second->handler;  // the handler may unwatch itself
    handler();
}

void onWake(evutil_socket_t, short, void*) {}

// One turn of libevent: blocks only when no message is waiting.
void runEventsOnce(bool mayBlock, int maxWaitMs) {
    event_base* base = eventBase();
    if (!mayBlock) {
        event_base_loop(base, EVLOOP_NONBLOCK);
        return;
    }
    EventPtr wake;
    if (maxWaitMs >= 0) {
        wake.reset(evtimer_new(base, onWake, nullptr));
        timeval tv{maxWaitMs / 1000, (maxWaitMs % 1000) * 1000};
        evtimer_add(wake.get(), &tv);
    }
    event_base_loop(base, EVLOOP_ONCE);
}

}  // namespace

event_base* eventBase() {
    auto& s = loop();
    if (!s.base) s.base = event_base_new();
    return s.base;
}

int runMessageLoop() {
    int exitCode = 0;
    while (!quitPosted()) {
        detail::dispatchQueued();
        if (quitPosted()) break;
        runEventsOnce(detail::queueEmpty(), -1);
    }
    quitPosted(&exitCode);
    return exitCode;
}

void pumpMessages(int ms) {
    timeval start{};
    evutil_gettimeofday(&start, nullptr);
    for (;;) {
        std::size_t n = detail::dispatchQueued();
        if (quitPosted()) return;
        timeval now{};
        evutil_gettimeofday(&now, nullptr);
        long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_usec - start.tv_usec) / 1000;
        if (ms <= 0) {
            runEventsOnce(false, 0);
            if (n == 0 && detail::queueEmpty()) return;
            continue;
        }
        if (elapsed >= ms) return;
        runEventsOnce(detail::queueEmpty(), static_cast<int>(ms - elapsed));
    }
}

void collectEvents(int ms) {
    runEventsOnce(true, ms);
}

bool setTimer(HWND hwnd, WPARAM id, unsigned intervalMs) {
    if (!isWindow(hwnd) || detail::isRemote(hwnd) || faults::timerRefused(hwnd, id)) return false;
    auto& s = loop();
    auto key = std::make_pair(hwnd, id);
    auto& slot = s.timers[key];
    if (!slot) {
        slot = std::make_unique<Timer>();
        slot->hwnd = hwnd;
        slot->id = id;
        slot->ev.reset(event_new(eventBase(), -1, EV_PERSIST, onTimer, slot.get()));
    }
    timeval tv{static_cast<time_t>(intervalMs / 1000), static_cast<suseconds_t>((intervalMs % 1000) * 1000)};
    return event_add(slot->ev.get(), &tv) == 0;
}

bool killTimer(HWND hwnd, WPARAM id) {
    return loop().timers.erase(std::make_pair(hwnd, id)) != 0;
}

namespace detail {
// runMessageLoop drains the queue before every turn of libevent: nothing to wake.
void queueWoken() {}
// runMessageLoop looks at the quit flag after every message.
void quitWoken(int) {}

void killWindowTimers(HWND hwnd) {
    auto& timers = loop().timers;
    for (auto it = timers.lower_bound({hwnd, 0}); it != timers.end() && it->first.first == hwnd;) it = timers.erase(it);
}
}  // namespace detail

int watchReadable(int fd, FdHandler handler) {
    auto& s = loop();
    int id = s.nextWatch++;
    auto w = std::make_unique<Watch>();
    w->handler = std::move(handler);
    w->ev.reset(event_new(eventBase(), fd, EV_READ | EV_PERSIST, onWatch,
                          reinterpret_cast<void*>(static_cast<std::intptr_t>(id))));
    if (!w->ev || event_add(w->ev.get(), nullptr) != 0) return 0;
    s.watches.emplace(id, std::move(w));
    return id;
}

void unwatch(int watchId) {
    loop().watches.erase(watchId);
}

}  // namespace plat
