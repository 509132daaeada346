// Message windows: message targets inside one process, with a first-in first-out queue,
// synchronous sends, window timers and the quit message. The queue is driven by the event
// loop (platform/event_loop.h); nothing here blocks.
//
// Handles are never reused while the process runs. A handle may also stand for a window of
// another process (platform/link.h): posting and sending to it then cross the link.
#pragma once

#include <cstdint>

namespace plat {

using HWND = std::uintptr_t;  // 0: no window
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = unsigned int;

// Message numbers keep their Windows values: they cross the process boundary.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

inline constexpr unsigned loWord(LPARAM l) {
    return static_cast<unsigned>(l) & 0xFFFFu;
}
inline constexpr unsigned hiWord(LPARAM l) {
    return (static_cast<unsigned>(l) >> 16) & 0xFFFFu;
}
inline constexpr LPARAM makeLParam(unsigned lo, unsigned hi) {
    return static_cast<LPARAM>((lo & 0xFFFFu) | ((hi & 0xFFFFu) << 16));
}

// The payload of WM_COPYDATA; lpData is valid only during the call.
struct COPYDATASTRUCT {
    std::uintptr_t dwData;
    std::uint32_t cbData;
    const void* lpData;
};

using WndProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

// Window classes exist so that the components can log their registration like the desktop
// program does; a class carries the procedure of its windows.
[[nodiscard]] bool registerClass(const char* className, WndProc proc);
bool unregisterClass(const char* className);  // false while windows of the class exist
bool isClassRegistered(const char* className);

// Creates a window of a registered class; 0 if the class is unknown or the parent is gone.
HWND createWindow(const char* className, const char* title, HWND parent);
// Destroys children first; each window gets WM_DESTROY. Its queued messages are dropped.
bool destroyWindow(HWND hwnd);
bool isWindow(HWND hwnd);
HWND parentOf(HWND hwnd);

std::intptr_t getWindowLongPtr(HWND hwnd);
std::intptr_t setWindowLongPtr(HWND hwnd, std::intptr_t value);  // answers the old value

// Queues the message. A message whose window has gone when its turn comes is dropped.
bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once and answers its result (0 for no window).
LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT defWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Window timers repeat until killed; each expiry queues one WM_TIMER (wParam = id).
// Setting an existing timer restarts it with the new interval.
bool setTimer(HWND hwnd, WPARAM id, unsigned intervalMs);
// Answers whether the timer existed.
bool killTimer(HWND hwnd, WPARAM id);

// Ends runMessageLoop (platform/event_loop.h) with this exit code.
void postQuitMessage(int exitCode);

}  // namespace plat
