// The notices of the account check to its owner, supplied and owned by the owner. All use the
// table's message number; a message number 0 turns every notice off. The defaults are the
// values the cycle controller uses.
#pragma once

#include "platform/window.h"

struct CheckNotices {
    plat::UINT message = plat::WM_USER + 2;   // 1026
    int accountStarted = 1;   // sent, lParam = const config::AccountRecord* of the account
    int newItem = 2;          // sent, lParam = const char* path of the routed item file
    int retrieveFailed = 3;   // sent, lParam = the account record
    int accountFailed = 4;    // sent, lParam = the account record: connection or login failed
    int accountDone = 5;      // sent, lParam = the account record: every new item retrieved
    int finished = 99;        // posted, lParam 0: the walk is over, the Check may be deleted
};
