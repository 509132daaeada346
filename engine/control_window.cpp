#include "engine/control_window.h"

#include "engine/cycle_config.h"
#include "platform/console.h"
#include "log/debug.h"
#include "link/engine_link.h"

#include <cstring>
#include <string>

using namespace plat;

ControlWindow::ControlWindow() = default;

ControlWindow::~ControlWindow() {
    cycle_.reset();
    if (window_ && isWindow(window_)) {
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
}

bool ControlWindow::create() {
    if (!isClassRegistered(kEngineClass) && !registerClass(kEngineClass, &ControlWindow::procedure)) return false;
    window_ = createWindow(kEngineClass, kEngineTitle, 0);
    if (!window_) return false;
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
    return true;
}

LRESULT ControlWindow::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ControlWindow*>(getWindowLongPtr(hwnd));
    if (msg == WM_DESTROY) {
        if (self) self->window_ = 0;
        postQuitMessage(0);
        return 0;
    }
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    return self->handle(msg, wParam, lParam);
}

LRESULT ControlWindow::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ENGINE_LINK) {
        onLink(wParam, lParam);
        return 0;
    }
    return defWindowProc(window_, msg, wParam, lParam);
}

void ControlWindow::onLink(WPARAM code, LPARAM lParam) {
    switch (code) {
    case LINK_REGISTER: setController(lParam); break;
    case LINK_START_CYCLE:
        setController(lParam);
        startCycle();
        break;
    case LINK_SHUTDOWN: shutdown(); break;
    default: break;
    }
}

void ControlWindow::shutdown() {
    if (window_) destroyWindow(window_);
}

void ControlWindow::setController(LPARAM lParam) {
    controller_ = static_cast<HWND>(lParam);
    // The box cannot wait for a click in a program without a display: it is reported and the
    // engine goes on at once.
    if (controller_ == 0) messageBox("NULL controller", "TRAWLEX");
}

void ControlWindow::startCycle() {
    if (cycle_) {
        cycle_->rerunRequest();
        return;
    }
    postToController(CYCLE_STARTED);
    DebugLine(LOG_MAIL, LOG_MED, "Start cycle");
    if (cycleStartHook_) cycleStartHook_();

    CycleConfig config;
    const char* failure = readCycleConfig(config);
    if (failure) DebugLine(LOG_APP, LOG_HIGH, failure);
    if (failure || !factory_) {
        // No cycle runs: the controller, which now shows a cycle in progress, hears that it
        // failed and ended, so its schedule goes on.
        postToController(CYCLE_FAILURE);
        postToController(CYCLE_FINISHED);
        return;
    }
    cycle_ = factory_(*this, config);
}

void ControlWindow::newOutgoingQueued() {
    postToController(NEW_OUTGOING_MAIL);
}

void ControlWindow::dialFailed() {
    postToController(CYCLE_DIAL_FAILED);
    postToController(CYCLE_FAILURE);
}

void ControlWindow::sendStarted() {
    postToController(CYCLE_CONNECTED);
    postToController(CYCLE_SENDING);
}

void ControlWindow::stepFailed() {
    postToController(CYCLE_FAILURE);
}

void ControlWindow::itemSent() {
    postToController(MAILBOX_CHANGED);
}

void ControlWindow::itemRefused(const std::string& path, const std::string& reply) {
    sendPath(COPYDATA_DELIVERY_FAILURE, path.c_str(), reply.c_str());
}

void ControlWindow::checkStarted() {
    postToController(CYCLE_CHECKING);
}

void ControlWindow::itemStored(const std::string& path) {
    DebugLineStr(LOG_APP, LOG_LOW, "(trawlex.exe) WM_COPYDATA", path.c_str());
    sendPath(COPYDATA_NEW_ITEM, path.c_str());
    postToController(CYCLE_NEW_ITEM);
}

void ControlWindow::cycleFinished() {
    DebugLine(LOG_APP, LOG_LOW, "case:CYCLE_FINISHED");
    DebugLine(LOG_MAIL, LOG_MED, "End cycle");
    postToController(CYCLE_FINISHED);
    cycle_.reset();
}

void ControlWindow::postToController(int code) {
    // Without a controller the message has no receiver and is lost.
    if (controller_) postMessage(controller_, WM_ENGINE_LINK, static_cast<WPARAM>(code), 0);
}

void ControlWindow::sendPath(int dwData, const char* path, const char* reason) {
    // The path is copied whole: a long mailbox path must reach the front end uncut.
    std::string copy = path ? path : "";
    // A reason follows the path's NUL, so that a reader that stops there still has the path.
    if (reason) copy.append(1, '\0').append(reason);
    COPYDATASTRUCT cds{static_cast<std::uintptr_t>(dwData), static_cast<std::uint32_t>(copy.size() + 1), copy.c_str()};
    if (controller_) sendMessage(controller_, WM_COPYDATA, window_, reinterpret_cast<LPARAM>(&cds));
}
