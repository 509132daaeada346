#include "platform/deferred_calls.h"

#include <utility>

namespace plat {

namespace {
constexpr char kClass[] = "DEFERREDCALLS";
constexpr UINT kRunNext = WM_USER + 77;
}  // namespace

DeferredCalls::DeferredCalls() {
    if (!isClassRegistered(kClass)) (void)registerClass(kClass, &DeferredCalls::procedure);
    window_ = createWindow(kClass, "deferred calls", 0);
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

DeferredCalls::~DeferredCalls() {
    // The queued messages go with the window.
    if (window_) destroyWindow(window_);
}

bool DeferredCalls::post(std::function<void()> call) {
    if (!window_ || !postMessage(window_, kRunNext, 0, 0)) return false;
    calls_.push_back(std::move(call));
    return true;
}

void DeferredCalls::runNext() {
    if (calls_.empty()) return;
    // Taken out first: the call may delete this object.
    std::function<void()> call = std::move(calls_.front());
    calls_.pop_front();
    call();
}

LRESULT DeferredCalls::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<DeferredCalls*>(getWindowLongPtr(hwnd));
    if (msg == kRunNext && self) {
        self->runNext();
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace plat
