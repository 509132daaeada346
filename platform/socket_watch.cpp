#include "platform/socket_watch.h"

#include <cerrno>
#include <utility>

namespace plat {

namespace {
constexpr char kClass[] = "SOCKETWATCH";
constexpr UINT kNotification = WM_USER;
}  // namespace

SocketWatch::SocketWatch(Handler handler) : handler_(std::move(handler)) {
    if (!isClassRegistered(kClass)) (void)registerClass(kClass, &SocketWatch::procedure);
    window_ = createWindow(kClass, "socket watch", 0);
    if (window_) setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

SocketWatch::~SocketWatch() {
    if (!window_) return;
    setWindowLongPtr(window_, 0);
    destroyWindow(window_);
}

bool SocketWatch::select(SOCKET s, unsigned events) {
    if (!window_) {
        errno = ENOMEM;
        return false;
    }
    return asyncSelect(s, window_, kNotification, events);
}

LRESULT SocketWatch::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<SocketWatch*>(getWindowLongPtr(hwnd));
    if (self && msg == kNotification) {
        SocketEvent e{static_cast<SOCKET>(wParam), loWord(lParam), static_cast<int>(hiWord(lParam))};
        // The call may delete this watch: nothing of it is touched afterwards.
        self->handler_(e);
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace plat
