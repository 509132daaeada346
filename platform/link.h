// The link between the two programs: published windows reachable from other processes of the
// same user over Unix-domain sockets in the runtime directory.
//
// A published window listens on <runtime dir>/<class>.<title>.sock (mode 0600). findWindow
// answers a handle for the remote window; postMessage and sendMessage (platform/window.h) on
// such a handle write one record to it. A window handle passed as wParam or lParam that is a
// published window of this process travels as a reference to it, so the receiver can answer.
#pragma once

#include "platform/window.h"

#include <string>

namespace plat {

enum class PublishResult { Published, AlreadyRunning, Failed };

// The one message number the two programs post each other (WM_ENGINE_LINK).
constexpr UINT kLinkMessage = WM_USER + 1000;

// Where a published window's link reports the records it drops.
using LinkReporter = void (*)(const char* text);

// Publishes a local top-level window under its class and title. A stale socket file (nobody
// answers) is removed first; a live one answers AlreadyRunning.
//
// Other processes may post it linkMessage and send it WM_COPYDATA, nothing else: any other
// record is dropped and reported to reporter (standard error when null), a send answered 0.
// Window handles cross only as references to windows of other processes: a reference to, or a
// bare number of, a window of this process arrives as 0.
PublishResult publishWindow(HWND hwnd, const char* className, const char* title, UINT linkMessage = kLinkMessage,
                            LinkReporter reporter = nullptr);

// A handle for the published window of class and title, or 0 when nothing answers.
HWND findWindow(const char* className, const char* title);

// Whether the handle stands for a window of another process.
bool isRemoteWindow(HWND hwnd);

// How long sendMessage waits for a remote reply before it answers 0.
constexpr int kLinkSendTimeoutMs = 10000;

// Path of the socket of a published window (for tests and diagnostics).
std::string linkSocketPath(const char* className, const char* title);

}  // namespace plat
