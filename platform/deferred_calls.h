// Calls made later on the loop's thread, behind everything already queued: how a component
// tells its owner something that the owner may answer by deleting the component, once the
// component's own handlers have returned.
#pragma once

#include "platform/window.h"

#include <deque>
#include <functional>

namespace plat {

class DeferredCalls {
public:
    DeferredCalls();
    // Calls not yet made are dropped.
    ~DeferredCalls();
    DeferredCalls(const DeferredCalls&) = delete;
    DeferredCalls& operator=(const DeferredCalls&) = delete;

    // Queues call; calls are made in the order they were queued, each in a turn of the loop
    // of its own. A call may delete this object. False when the loop cannot be asked to make
    // it (then it is never made).
    bool post(std::function<void()> call);

private:
    static LRESULT procedure(HWND, UINT, WPARAM, LPARAM);
    void runNext();

    HWND window_ = 0;
    std::deque<std::function<void()>> calls_;
};

}  // namespace plat
