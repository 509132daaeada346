#include "platform/timer.h"

#include <utility>

namespace plat {

namespace {
constexpr char kClass[] = "CALLBACKTIMER";
}  // namespace

Timer::Timer(std::function<void()> onExpiry, std::uintptr_t id) : onExpiry_(std::move(onExpiry)), id_(id) {
    if (!isClassRegistered(kClass)) (void)registerClass(kClass, &Timer::procedure);
    window_ = createWindow(kClass, "timer", 0);
    if (window_) setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

Timer::~Timer() {
    if (!window_) return;
    killTimer(window_, id_);
    setWindowLongPtr(window_, 0);
    destroyWindow(window_);
}

bool Timer::start(unsigned intervalMs) {
    running_ = window_ && setTimer(window_, id_, intervalMs);
    return running_;
}

void Timer::stop() {
    if (window_) killTimer(window_, id_);
    running_ = false;
}

LRESULT Timer::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Timer*>(getWindowLongPtr(hwnd));
    if (self && msg == WM_TIMER && wParam == self->id_) {
        // The call may delete the timer: nothing of it is touched afterwards.
        self->onExpiry_();
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace plat
