// Message numbers, command ids and resource numbers of the front end's main window.
#pragma once

#include "platform/window.h"

// Messages of the main window besides the engine link (Windows values: they are the same
// numbers the other windows of the system use).
constexpr plat::UINT WM_NULL = 0x0000;
constexpr plat::UINT WM_CLOSE = 0x0010;
constexpr plat::UINT WM_COMMAND = 0x0111;
constexpr plat::UINT WM_SYSCOMMAND = 0x0112;
constexpr plat::UINT WM_INITMENU = 0x0116;
constexpr plat::UINT WM_TRAYNOTIFY = plat::WM_USER + 100;   // 1124

constexpr plat::WPARAM SC_MINIMIZE = 0xF020;
constexpr plat::WPARAM SC_RESTORE = 0xF120;

// Tray mouse messages (lParam of WM_TRAYNOTIFY).
constexpr plat::LPARAM WM_LBUTTONDOWN = 0x0201;
constexpr plat::LPARAM WM_LBUTTONUP = 0x0202;   // a tray's single activation
constexpr plat::LPARAM WM_LBUTTONDBLCLK = 0x0203;
constexpr plat::LPARAM WM_RBUTTONDOWN = 0x0204;

// Commands (WM_COMMAND, low word of wParam).
enum Command : int {
    CMD_CYCLE_NOW = 201,
    CMD_OPEN = 202,
    CMD_OPTIONS = 203,
    CMD_RESUME = 204,
    CMD_SUSPEND = 205,
    CMD_READ_MAIL = 208,
    CMD_CLOSE = 209,
    CMD_EXIT = 210,
    CMD_HELP_CONTENTS = 220,
    CMD_ABOUT = 221,
    CMD_HOMEPAGE = 223,
    CMD_EMAIL_SUPPORT = 224,
    CMD_VIEW_ITEM = 229,
    CMD_ACCOUNT_ADD = 230,
    CMD_ACCOUNT_REMOVE = 231,
    CMD_ACCOUNT_PROPERTIES = 232,
    CMD_DELETE_ITEM = 40001,
    CMD_QIK_REPLY = 40002,
    CMD_LOG = 40004,
};

// The link code a second copy of the front end posts to the running one (WM_ENGINE_LINK, lParam
// 0) before it ends: open the main window and bring it to the front. No engine code uses it.
constexpr int FRONTEND_OPEN_WINDOW = 30;

// The main window's published name, also its run-once test.
inline constexpr char kFrontEndClass[] = "TARNWICKCLASS";
inline constexpr char kFrontEndTitle[] = "Tarnwick";

// Help context of the first-time set-up section.
constexpr int kHelpContextSetup = 1200;
