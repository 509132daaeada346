// A timer that calls a function on the loop's thread: for the parts of the programs that wait
// (a throttle's turn, a dial's time limit, a pause before accepting again) without a window of
// their own.
#pragma once

#include "platform/window.h"

#include <functional>

namespace plat {

class Timer {
public:
    // onExpiry runs at each expiry until the timer is stopped; it may stop, restart or delete
    // the timer. id names the timer to the test seams that refuse timers (fault_hooks.h).
    explicit Timer(std::function<void()> onExpiry, std::uintptr_t id = 1);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Starts the timer, or restarts it with the new interval; it repeats until stopped. False
    // when the system could not set it (then it does not run).
    [[nodiscard]] bool start(unsigned intervalMs);
    void stop();
    bool running() const { return running_; }

private:
    static LRESULT procedure(HWND, UINT, WPARAM, LPARAM);

    std::function<void()> onExpiry_;
    HWND window_ = 0;
    std::uintptr_t id_;
    bool running_ = false;
};

}  // namespace plat
