#include "shared/ras_connection.h"

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process.h"
#include "shared/debug.h"
#include "shared/nmcli.h"
#include "shared/ras_state.h"

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace plat;

namespace {

// The line this process dialled: the entry as NetworkManager names it, and the pid of the
// nmcli that is still dialling it (0 once that has ended).
struct DialHandle {
    std::string entry;
    int pid = 0;
};

HWND g_hWndParent = 0;
// A copy: a dial's end may outlive the owner that handed the table over.
std::optional<DialNotices> g_dialNotices;
std::optional<DialHandle> g_hRasConn;

int g_dialWaitSeconds = 120;
int g_dialKillAfterMs = 130000;
int g_hangUpWaitMs = 10000;

constexpr int kHangUpDownWaitSeconds = 10;

// The window that hears the dial's nmcli end and the watchdog that stops it.
constexpr char kDialClass[] = "RASDIALCLASS";
constexpr UINT kDialEnded = WM_USER + 1;
constexpr WPARAM kWatchdogTimer = 1;
HWND g_dialWindow = 0;

void postDialNotice(bool connected) {
    if (!g_dialNotices) return;
    int code = connected ? g_dialNotices->connected : g_dialNotices->failed;
    postMessage(g_hWndParent, g_dialNotices->message, static_cast<WPARAM>(code), 0);
}

LRESULT dialWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kWatchdogTimer) {
        killTimer(hwnd, kWatchdogTimer);
        if (g_hRasConn && g_hRasConn->pid != 0) {
            DebugLineStr(LOG_NET, LOG_HIGH, "Dial did not end in time, nmcli stopped :", g_hRasConn->entry.c_str());
            killProcess(g_hRasConn->pid);
        }
        return 0;
    }
    if (msg == kDialEnded) {
        // The end of a dial that was hung up or replaced since is nobody's news.
        if (!g_hRasConn || g_hRasConn->pid != static_cast<int>(wParam)) return 0;
        killTimer(hwnd, kWatchdogTimer);
        g_hRasConn->pid = 0;
        unsigned long error = static_cast<unsigned long>(lParam);
        RASConnection::dialStateCallback(error == 0 ? kRasConnected : kRasDisconnected, error);
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

HWND dialWindow() {
    if (g_dialWindow && isWindow(g_dialWindow)) return g_dialWindow;
    if (!isClassRegistered(kDialClass) && !registerClass(kDialClass, dialWindowProc)) return 0;
    g_dialWindow = createWindow(kDialClass, "Dial", 0);
    return g_dialWindow;
}

// The entry as NetworkManager spells it: the same name, else the first that differs only in
// letter case. Empty when there is none or the entries cannot be listed.
std::string resolveEntry(const std::string& program, const std::string& entry) {
    std::vector<std::string> names;
    if (!nmcli::connectionNames(program, RASStatus::kQueryTimeoutMs, names).ran) return {};
    if (std::find(names.begin(), names.end(), entry) != names.end()) return entry;
    for (const auto& n : names) {
        if (nmcli::sameEntry(n, entry)) return n;
    }
    return {};
}

}  // namespace

RASConnection::RASConnection(HWND owner, const DialNotices* notices) {
    if (owner) {
        g_hWndParent = owner;
        if (notices) g_dialNotices = *notices;
        else g_dialNotices.reset();
    }
    dialRequested_ = 0;
}

RASConnection::~RASConnection() {
    if (dialRequested_) hangUp();
}

void RASConnection::setBounds(int dialWaitSeconds, int dialKillAfterMs, int hangUpWaitMs) {
    g_dialWaitSeconds = dialWaitSeconds;
    g_dialKillAfterMs = dialKillAfterMs;
    g_hangUpWaitMs = hangUpWaitMs;
}

void RASConnection::dial(const char* entryName) {
    std::string entry = entryName ? entryName : "";
    if (!loaded()) {
        // Without a report the owner would wait for ever.
        DebugLine(LOG_NET, LOG_HIGH, "Dial-up networking is not available (no nmcli on PATH)");
        postDialNotice(false);
        return;
    }
    dialRequested_ = 1;
    if (isConnected(entry.c_str())) {
        postDialNotice(true);   // a line up before us is never ours to hang up
        return;
    }
    if (g_hRasConn) return;   // the pending dial reports

    std::string profile = resolveEntry(program(), entry);
    if (profile.empty()) {
        DebugLineStr(LOG_APP, LOG_HIGH, "GetEntryDialParams failed", "RASConnection-open");
        postDialNotice(false);
        return;
    }
    // NetworkManager asks its own agents for secrets: every entry counts as having a password.
    HWND window = dialWindow();
    int pid = window ? startProcess({program(), "--wait", std::to_string(g_dialWaitSeconds), "connection",
                                     "up", "id", profile},
                                    window, kDialEnded)
                     : 0;
    DebugLineInt(LOG_APP, LOG_LOW, "DIAL :", pid);
    if (pid == 0) {
        DebugLine(LOG_APP, LOG_HIGH, "RasDial failed");
        DebugLine(LOG_NET, LOG_HIGH, "Failed to begin dialing");
        postDialNotice(false);
        return;
    }
    g_hRasConn = DialHandle{profile, pid};
    setTimer(window, kWatchdogTimer, static_cast<unsigned>(g_dialKillAfterMs));
}

void RASConnection::dialStateCallback(unsigned state, unsigned long error) {
    const char* name = rasStateName(state);
    bool report = error != 0 || (state & kRasDoneBit) != 0;
    if (error != 0) {
        messageBeep();
        DebugLine(LOG_NET, LOG_HIGH, "Error during RasDial");
    } else if (state & kRasDoneBit) {
        DebugLine(LOG_NET, LOG_LOW, "RASConnection DONE");
    }
    if (report && g_hWndParent == 0) DebugLine(LOG_APP, LOG_MED, "g_hWndParent == NULL");
    if (report) postDialNotice(error == 0);

    char line[600];
    if (const char* text = rasErrorText(error)) {
        std::snprintf(line, sizeof line, "%s[%u] (error: %s[%lu])", name, state, text, error);
    } else {
        std::snprintf(line, sizeof line, "%s[%u] (error: (none)[%lu])", name, state, error);
    }
    DebugLine(LOG_NET, error != 0 ? LOG_HIGH : LOG_LOW, line);
}

void RASConnection::hangUp() {
    if (!loaded()) {
        g_hRasConn.reset();
        return;
    }
    if (!g_hRasConn) {
        DebugLine(LOG_APP, LOG_LOW, "g_hRasConn == NULL before hangup");
        return;
    }
    DialHandle line = *g_hRasConn;
    // A dial still running is stopped first; its end is then nobody's news.
    if (line.pid != 0) {
        if (g_dialWindow) killTimer(g_dialWindow, kWatchdogTimer);
        killProcess(line.pid);
        g_hRasConn->pid = 0;
    }
    nmcli::QueryResult down = nmcli::connectionDown(program(), line.entry, kHangUpDownWaitSeconds);
    DebugLine(LOG_APP, LOG_LOW, "HANGUP -");
    DebugLineStr(LOG_APP, LOG_LOW, " g_hRasConn :", line.entry.c_str());
    DebugLineInt(LOG_APP, LOG_LOW, "       nRet :", down.exitCode);
    if (!down.ran) {
        g_hRasConn.reset();
        return;
    }
    long long deadline = monotonicMs() + g_hangUpWaitMs;
    for (;;) {
        sleepMs(kHangUpStepMs);
        long long left = deadline - monotonicMs();
        std::vector<nmcli::ActiveConnection> active;
        nmcli::QueryResult q = nmcli::activeConnections(
            program(), static_cast<int>(std::clamp<long long>(left, kHangUpStepMs, RASStatus::kQueryTimeoutMs)), active);
        if (q.ran) {
            bool up = std::any_of(active.begin(), active.end(),
                                  [&](const auto& a) { return a.name == line.entry; });
            if (!up) {
                DebugLine(LOG_APP, LOG_LOW, "HANGUP COMPLETE (ERROR_INVALID_HANDLE)");
                break;
            }
        } else {
            DebugLineInt(LOG_APP, LOG_HIGH, "RASGetConnectStatus FAILED", q.exitCode);
        }
        if (monotonicMs() >= deadline) {
            DebugLineStr(LOG_NET, LOG_HIGH, "Hang-up not confirmed, still active :", line.entry.c_str());
            break;
        }
    }
    g_hRasConn.reset();
}

