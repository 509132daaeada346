// The link protocol between the front end (or trawlexctl) and the engine: one message number,
// WM_ENGINE_LINK, in both directions, with a link code in wParam, plus WM_COPYDATA records
// from the engine that carry a path.
#pragma once

#include "platform/link.h"
#include "platform/window.h"

// Window the engine publishes; the front end finds it by class and title.
inline constexpr char kEngineClass[] = "APPCLASS";
inline constexpr char kEngineTitle[] = "Trawlex";

constexpr plat::UINT WM_ENGINE_LINK = plat::WM_USER + 1000;  // 2024
static_assert(WM_ENGINE_LINK == plat::kLinkMessage, "the link carries the engine link message");

// Front end to engine (posted; lParam = the controller's window).
constexpr int LINK_REGISTER = 1;
constexpr int LINK_START_CYCLE = 2;
constexpr int LINK_SHUTDOWN = 3;

// Engine to controller (posted; lParam 0).
constexpr int CYCLE_STARTED = 1;
constexpr int CYCLE_CONNECTED = 2;
constexpr int CYCLE_DIAL_FAILED = 3;
constexpr int CYCLE_SENDING = 4;
constexpr int CYCLE_CHECKING = 5;
constexpr int CYCLE_NEW_ITEM = 6;
constexpr int CYCLE_FINISHED = 7;
constexpr int NEW_OUTGOING_MAIL = 10;
constexpr int MAILBOX_CHANGED = 11;
constexpr int CYCLE_FAILURE = 20;

// dwData of the engine's WM_COPYDATA records (sent; lpData = NUL-terminated path).
constexpr int COPYDATA_NEW_ITEM = 6;
constexpr int COPYDATA_DELIVERY_FAILURE = 100;

// The name of an engine-to-controller link code, or null for an unknown one.
const char* linkNoticeName(int code);
// The name of a data record's dwData, or null for an unknown one.
const char* copyDataName(int dwData);
