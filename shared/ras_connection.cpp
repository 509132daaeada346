#include "dialup/ras_connection.h"

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process.h"
#include "log/debug.h"
#include "dialup/nmcli.h"
#include "dialup/ras_state.h"

#include <algorithm>
#include <optional>

using namespace plat;

namespace {

constexpr int kHangUpDownWaitSeconds = 10;

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

RASConnection::RASConnection(DialObserver* observer, DialBounds bounds)
    : observer_(observer),
      bounds_(bounds),
      watchdog_([this] {
          watchdog_.stop();
          onWatchdog();
      }) {}

RASConnection::~RASConnection() {
    if (dialRequested_) hangUp();
}

void RASConnection::tellLater(Outcome outcome) {
    if (!observer_) return;
    later_.post([observer = observer_, outcome] {
        if (outcome == Outcome::Connected) {
            observer->dialConnected();
        } else {
            observer->dialFailed();
        }
    });
}

void RASConnection::onWatchdog() {
    if (line_ && line_->pid != 0) {
        DebugLineStr(LOG_NET, LOG_HIGH, "Dial did not end in time, nmcli stopped :", line_->entry.c_str());
        killProcess(line_->pid);
    }
}

void RASConnection::onDialEnded(int pid, unsigned long error) {
    // The end of a dial that was hung up or replaced since is nobody's news.
    if (!line_ || line_->pid != pid) return;
    watchdog_.stop();
    line_->pid = 0;
    dialStateCallback(error == 0 ? kRasConnected : kRasDisconnected, error);
}

void RASConnection::dial(const char* entryName) {
    std::string entry = entryName ? entryName : "";
    if (!loaded()) {
        // Without a report the owner would wait for ever.
        DebugLine(LOG_NET, LOG_HIGH, "Dial-up networking is not available (no nmcli on PATH)");
        tellLater(Outcome::Failed);
        return;
    }
    dialRequested_ = true;
    if (isConnected(entry.c_str())) {
        tellLater(Outcome::Connected);  // a line up before us is never ours to hang up
        return;
    }
    if (line_) return;  // the pending dial reports

    std::string profile = resolveEntry(program(), entry);
    if (profile.empty()) {
        DebugLineStr(LOG_APP, LOG_HIGH, "GetEntryDialParams failed", "RASConnection-open");
        tellLater(Outcome::Failed);
        return;
    }
    // NetworkManager asks its own agents for secrets: every entry counts as having a password.
    // The end of a dial is nobody's news once this object has gone.
    std::weak_ptr<int> alive = alive_;
    int pid = startProcess(
        {program(), "--wait", std::to_string(bounds_.dialWaitSeconds), "connection", "up", "id", profile},
        [this, alive](int ended, int exitCode) {
            if (!alive.expired()) onDialEnded(ended, static_cast<unsigned long>(exitCode));
        });
    DebugLineInt(LOG_APP, LOG_LOW, "DIAL :", pid);
    if (pid == 0) {
        DebugLine(LOG_APP, LOG_HIGH, "RasDial failed");
        DebugLine(LOG_NET, LOG_HIGH, "Failed to begin dialing");
        tellLater(Outcome::Failed);
        return;
    }
    line_ = DialHandle{profile, pid};
    if (!watchdog_.start(static_cast<unsigned>(bounds_.dialKillAfterMs))) {
        // A dial nothing bounds could hold the cycle for ever: it is stopped now, and its end
        // reports the failure as any failed dial does.
        DebugLineStr(LOG_NET, LOG_HIGH, "Unable to set the dial's time limit, nmcli stopped :", profile.c_str());
        killProcess(pid);
    }
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
    if (report && !observer_) DebugLine(LOG_APP, LOG_MED, "g_hWndParent == NULL");
    if (report) tellLater(error == 0 ? Outcome::Connected : Outcome::Failed);

    const char* text = rasErrorText(error);
    std::string line = std::string(name) + "[" + std::to_string(state) + "] (error: " + (text ? text : "(none)") + "[" +
                       std::to_string(error) + "])";
    DebugLine(LOG_NET, error != 0 ? LOG_HIGH : LOG_LOW, line.c_str());
}

void RASConnection::hangUp() {
    if (!loaded()) {
        line_.reset();
        return;
    }
    if (!line_) {
        DebugLine(LOG_APP, LOG_LOW, "g_hRasConn == NULL before hangup");
        return;
    }
    DialHandle line = *line_;
    // A dial still running is stopped first; its end is then nobody's news.
    if (line.pid != 0) {
        watchdog_.stop();
        killProcess(line.pid);
        line_->pid = 0;
    }
    nmcli::QueryResult down = nmcli::connectionDown(program(), line.entry, kHangUpDownWaitSeconds);
    DebugLine(LOG_APP, LOG_LOW, "HANGUP -");
    DebugLineStr(LOG_APP, LOG_LOW, " g_hRasConn :", line.entry.c_str());
    DebugLineInt(LOG_APP, LOG_LOW, "       nRet :", down.exitCode);
    if (!down.ran) {
        line_.reset();
        return;
    }
    long long deadline = monotonicMs() + bounds_.hangUpWaitMs;
    for (;;) {
        sleepMs(kHangUpStepMs);
        long long left = deadline - monotonicMs();
        std::vector<nmcli::ActiveConnection> active;
        nmcli::QueryResult q = nmcli::activeConnections(
            program(), static_cast<int>(std::clamp<long long>(left, kHangUpStepMs, RASStatus::kQueryTimeoutMs)),
            active);
        if (q.ran) {
            bool up = std::any_of(active.begin(), active.end(), [&](const auto& a) { return a.name == line.entry; });
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
    line_.reset();
}
