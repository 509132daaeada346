#include "frontend/qt_platform/qt_link_window.h"

namespace plat {

LinkWindow::LinkWindow(const char* className, const char* title, UINT linkMessage)
    : className_(className),
      title_(title),
      linkMessage_(linkMessage) {
    if (!isClassRegistered(className) && !registerClass(className, procedure)) return;
    hwnd_ = createWindow(className, title, 0);
    if (hwnd_) setWindowLongPtr(hwnd_, reinterpret_cast<std::intptr_t>(this));
}

LinkWindow::~LinkWindow() {
    if (!isWindow(hwnd_)) return;
    setWindowLongPtr(hwnd_, 0);
    destroyWindow(hwnd_);
}

PublishResult LinkWindow::publish() {
    return publishWindow(hwnd_, className_, title_, linkMessage_);
}

void LinkWindow::destroy() {
    if (isWindow(hwnd_)) destroyWindow(hwnd_);
}

LRESULT LinkWindow::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LinkWindow*>(getWindowLongPtr(hwnd));
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    if (msg == self->linkMessage_) {
        emit self->linkMessageArrived(wParam, lParam);
        return 0;
    }
    switch (msg) {
    case WM_COPYDATA: {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (cds && cds->lpData)
            emit self->dataCopied(
                static_cast<quintptr>(cds->dwData),
                QByteArray::fromRawData(static_cast<const char*>(cds->lpData), static_cast<qsizetype>(cds->cbData)));
        return 1;
    }
    case WM_DESTROY: emit self->windowDestroyed(); return 0;
    default: return defWindowProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace plat
