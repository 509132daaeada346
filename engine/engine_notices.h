// The notices the cycle reports to the engine's control window.
#pragma once

#include "platform/window.h"

// The message number and one code per cycle event; the cycle posts (or, for the two that carry
// a path in lParam, sends) them to the control window.
struct EngineNotices {
    plat::UINT message = plat::WM_USER;
    int dialFailed = 0;      // ENGINE_DIAL_FAILED
    int sendStarted = 10;    // ENGINE_SEND_STARTED
    int sendFailed = 11;     // ENGINE_SEND_FAILED
    int itemRefused = 13;    // ENGINE_ITEM_REFUSED, sent, lParam = path of the refused item
    int itemSent = 12;       // ENGINE_ITEM_SENT
    int checkStarted = 20;   // ENGINE_CHECK_STARTED
    int checkFailed = 21;    // ENGINE_CHECK_FAILED
    int newItem = 22;        // ENGINE_NEW_ITEM, sent, lParam = path of the stored item
    int cycleFinished = 99;  // ENGINE_CYCLE_FINISHED
};

constexpr int ENGINE_DIAL_FAILED = 0;
constexpr int ENGINE_SEND_STARTED = 10;
constexpr int ENGINE_SEND_FAILED = 11;
constexpr int ENGINE_ITEM_SENT = 12;
constexpr int ENGINE_ITEM_REFUSED = 13;
constexpr int ENGINE_CHECK_STARTED = 20;
constexpr int ENGINE_CHECK_FAILED = 21;
constexpr int ENGINE_NEW_ITEM = 22;
constexpr int ENGINE_CYCLE_FINISHED = 99;
