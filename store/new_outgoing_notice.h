// The record the local SMTP server posts when an item has joined the outgoing queue.
#pragma once

#include "platform/window.h"

// How the local SMTP server says that it queued an item: posted to window with message and
// wParam code, lParam 0.
struct NewOutgoingNotice {
    plat::HWND window = 0;
    plat::UINT message = 0;
    plat::WPARAM code = 0;
};

constexpr plat::UINT WM_NEW_OUTGOING = plat::WM_USER + 10;   // 1034
// The code the engine's own server notice carries.
constexpr plat::WPARAM kNewOutgoingQueued = 1;
