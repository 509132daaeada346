// The main window's timers behind a small interface, so that tests arm and fire them by hand
// and see the periods the schedule chose.
#pragma once

#include "platform/window.h"

#include <cstdint>

class WindowTimers {
public:
    virtual ~WindowTimers() = default;
    // Arms timer id with the period, replacing a running one of the same id.
    virtual void set(plat::WPARAM id, std::uint32_t periodMs) = 0;
    // Answers whether the timer was running.
    virtual bool kill(plat::WPARAM id) = 0;

    // Kills the timer and, only if it was running, arms it again with periodMs.
    void rearmIfRunning(plat::WPARAM id, std::uint32_t periodMs) {
        if (kill(id)) set(id, periodMs);
    }
};

// Window timers of one message window: each expiry queues WM_TIMER to it.
class PlatformTimers final : public WindowTimers {
public:
    explicit PlatformTimers(plat::HWND hwnd) : hwnd_(hwnd) {}
    void set(plat::WPARAM id, std::uint32_t periodMs) override { plat::setTimer(hwnd_, id, periodMs); }
    bool kill(plat::WPARAM id) override { return plat::killTimer(hwnd_, id); }

private:
    plat::HWND hwnd_;
};
