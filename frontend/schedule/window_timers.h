// The main window's timers behind a small interface, so that tests arm and fire them by hand
// and see the periods the schedule chose.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QTimer;

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

// The schedule's timers as QTimers owned here: each expiry calls fired with the timer's id.
class QtWindowTimers final : public WindowTimers {
public:
    explicit QtWindowTimers(std::function<void(plat::WPARAM id)> fired);
    ~QtWindowTimers() override;
    void set(plat::WPARAM id, std::uint32_t periodMs) override;
    bool kill(plat::WPARAM id) override;

private:
    std::function<void(plat::WPARAM)> fired_;
    // A killed timer is only stopped: it may be the one whose expiry is running now.
    std::map<plat::WPARAM, std::unique_ptr<QTimer>> timers_;
};
