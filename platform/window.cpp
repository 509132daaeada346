#include "platform/window.h"

#include "platform/event_loop.h"
#include "platform/loop_internal.h"

#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat {
namespace {

struct Window {
    std::string className;
    std::string title;
    HWND parent = 0;
    WndProc proc = nullptr;
    std::intptr_t userData = 0;
};

struct State {
    std::map<std::string, WndProc> classes;
    std::unordered_map<HWND, Window> windows;
    std::deque<detail::QueuedMessage> queue;
    HWND nextHandle = 0x10000;
    bool quit = false;
    int exitCode = 0;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

namespace detail {

HWND allocateHandle() {
    HWND h = state().nextHandle;
    state().nextHandle += 4;
    return h;
}

void enqueue(const QueuedMessage& m) {
    state().queue.push_back(m);
    queueWoken();
}

bool queueEmpty() {
    return state().queue.empty();
}

std::size_t dispatchQueued() {
    auto& s = state();
    std::size_t n = s.queue.size();
    std::size_t done = 0;
    for (std::size_t i = 0; i < n && !s.queue.empty(); ++i) {
        QueuedMessage m = s.queue.front();
        s.queue.pop_front();
        if (m.socketTag != 0 && !socketTagAlive(m.wParam, m.socketTag)) continue;
        auto it = s.windows.find(m.hwnd);
        if (it == s.windows.end()) continue;  // the window has gone: the message is dropped
        it->second.proc(m.hwnd, m.msg, m.wParam, m.lParam);
        ++done;
        if (quitPosted()) break;
    }
    return done;
}

}  // namespace detail

bool quitPosted(int* exitCode) {
    if (exitCode) *exitCode = state().exitCode;
    return state().quit;
}

void resetQuit() {
    state().quit = false;
    state().exitCode = 0;
}

void postQuitMessage(int exitCode) {
    state().quit = true;
    state().exitCode = exitCode;
    detail::quitWoken(exitCode);
}

bool registerClass(const char* className, WndProc proc) {
    if (!className || !proc) return false;
    return state().classes.emplace(className, proc).second;
}

bool unregisterClass(const char* className) {
    auto& s = state();
    auto it = s.classes.find(className ? className : "");
    if (it == s.classes.end()) return false;
    for (const auto& [h, w] : s.windows) {
        if (w.className == it->first) return false;
    }
    s.classes.erase(it);
    return true;
}

bool isClassRegistered(const char* className) {
    return state().classes.count(className ? className : "") != 0;
}

HWND createWindow(const char* className, const char* title, HWND parent) {
    auto& s = state();
    auto it = s.classes.find(className ? className : "");
    if (it == s.classes.end()) return 0;
    if (parent != 0 && !s.windows.count(parent)) return 0;
    HWND h = detail::allocateHandle();
    s.windows.emplace(h, Window{it->first, title ? title : "", parent, it->second, 0});
    return h;
}

bool destroyWindow(HWND hwnd) {
    auto& s = state();
    auto it = s.windows.find(hwnd);
    if (it == s.windows.end()) return false;
    std::vector<HWND> children;
    for (const auto& [h, w] : s.windows) {
        if (w.parent == hwnd) children.push_back(h);
    }
    for (HWND child : children) destroyWindow(child);
    it = s.windows.find(hwnd);
    if (it == s.windows.end()) return true;  // a child's WM_DESTROY destroyed us already
    detail::killWindowTimers(hwnd);
    detail::unpublish(hwnd);
    WndProc proc = it->second.proc;
    proc(hwnd, WM_DESTROY, 0, 0);
    s.windows.erase(hwnd);
    return true;
}

bool isWindow(HWND hwnd) {
    return state().windows.count(hwnd) != 0 || detail::isRemote(hwnd);
}

HWND parentOf(HWND hwnd) {
    auto it = state().windows.find(hwnd);
    return it == state().windows.end() ? 0 : it->second.parent;
}

std::intptr_t getWindowLongPtr(HWND hwnd) {
    auto it = state().windows.find(hwnd);
    return it == state().windows.end() ? 0 : it->second.userData;
}

std::intptr_t setWindowLongPtr(HWND hwnd, std::intptr_t value) {
    auto it = state().windows.find(hwnd);
    if (it == state().windows.end()) return 0;
    std::intptr_t old = it->second.userData;
    it->second.userData = value;
    return old;
}

bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (state().windows.count(hwnd)) {
        detail::enqueue({hwnd, msg, wParam, lParam, 0});
        return true;
    }
    if (detail::isRemote(hwnd)) return detail::postRemote(hwnd, msg, wParam, lParam);
    return false;
}

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = state().windows.find(hwnd);
    if (it != state().windows.end()) return it->second.proc(hwnd, msg, wParam, lParam);
    if (detail::isRemote(hwnd)) return detail::sendRemote(hwnd, msg, wParam, lParam);
    return 0;
}

LRESULT defWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

}  // namespace plat
