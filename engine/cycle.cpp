#include "engine/cycle.h"

#include "engine/engine_setup.h"
#include "platform/clock.h"
#include "pop3/check.h"
#include "shared/debug.h"
#include "shared/registry.h"
#include "shared/settings_keys.h"

using namespace plat;

namespace {

constexpr char kCycleClass[] = "CYCLECLASS";
// Time for the line to settle before anyone dials again.
constexpr int kPauseAfterDialUpMs = 3000;

}  // namespace

Cycle::Cycle(HWND notifyWindow, const std::string& accountKey, const std::string& holdingDirectory,
             const std::string& outHost, int outPort, const std::string& queueDirectory, const char* dialEntry,
             const EngineNotices* notices)
    : notifyWindow_(notifyWindow),
      accountKey_(accountKey),
      holdingDirectory_(holdingDirectory),
      outHost_(outHost),
      outPort_(outPort),
      queueDirectory_(queueDirectory),
      dialEntry_(dialEntry ? dialEntry : ""),
      engineNotices_(notices) {
    if (!registerClass(kCycleClass, &Cycle::procedure)) DebugLine(LOG_APP, LOG_HIGH, "Unable to register cycle class");
    window_ = createWindow(kCycleClass, "Cycle", notifyWindow_);
    if (!window_) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to create cycle window");
        return;
    }
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

Cycle::~Cycle() {
    check_.reset();
    send_.reset();
    if (ras_) {
        ras_.reset();   // hangs up a line it dialled
        sleepMs(kPauseAfterDialUpMs);
    }
    if (window_ && isWindow(window_)) {
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
    unregisterClass(kCycleClass);
}

void Cycle::start() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle start");
    rerunRequested_ = false;
    rerunLocked_ = false;
    if (!dialEntry_.empty()) {
        DebugLine(LOG_NET, LOG_LOW, "Starting by connecting RAS");
        startRAS();
    } else {
        DebugLine(LOG_NET, LOG_LOW, "Starting immediately with send");
        startSend();
    }
}

void Cycle::rerunRequest() {
    if (rerunLocked_) return;
    rerunRequested_ = true;
    rerunLocked_ = true;
}

void Cycle::startRAS() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle::startRAS");
    phase_ = Phase::Dialling;
    ras_.reset();
    ras_ = std::make_unique<RASConnection>(window_, &dialNotices_);
    ras_->dial(dialEntry_.c_str());
}

void Cycle::startSend() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle::startSend");
    phase_ = Phase::Sending;
    DebugLine(LOG_MAIL, LOG_MED, "Start send");
    postEngine(engineNotices_->sendStarted);
    send_.reset();
    send_ = std::make_unique<Send>(window_, outHost_.c_str(), outPort_, &sendNotices_);
    send_->start(queueDirectory_);
}

void Cycle::startCheck() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle::startCheck");
    phase_ = Phase::Checking;
    DebugLine(LOG_MAIL, LOG_MED, "Start check");
    postEngine(engineNotices_->checkStarted);
    if (check_) {
        DebugLine(LOG_APP, LOG_MED, "Removing m_pCheck to create another");
        check_.reset();
    }
    check_ = std::make_unique<Check>(window_, accountKey_, &checkNotices_);
    check_->start(holdingDirectory_);
}

void Cycle::end() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle end");
    if (rerunRequested_) {
        rerunRequested_ = false;   // rerun-locked stays: once per cycle
        startSend();
        return;
    }
    if (ras_) {
        ras_->hangUp();
        ras_.reset();
    }
    postEngine(engineNotices_->cycleFinished);
}

void Cycle::dropRAS() {
    if (!ras_) return;
    ras_->hangUp();
    ras_.reset();
}

void Cycle::postEngine(int code) {
    postMessage(notifyWindow_, engineNotices_->message, static_cast<WPARAM>(code), 0);
}

LRESULT Cycle::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Cycle*>(getWindowLongPtr(hwnd));
    if (msg == WM_DESTROY) return 0;
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    return self->handle(msg, wParam, lParam);
}

LRESULT Cycle::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    int code = static_cast<int>(wParam);
    // What happens whatever the phase: a failed dial-up connection is dropped at once, and a
    // component that has finished is deleted (its notice was posted, so none of its own
    // handlers is running).
    if (msg == dialNotices_.message && code == dialNotices_.failed) {
        DebugLine(LOG_NET, LOG_HIGH, "Dial-Up Networking failed to establish connection");
        dropRAS();
    } else if (msg == sendNotices_.message && code == sendNotices_.finished) {
        send_.reset();
    } else if (msg == checkNotices_.message && code == checkNotices_.finished) {
        check_.reset();
    }
    if (msg != dialNotices_.message && msg != sendNotices_.message && msg != checkNotices_.message)
        return defWindowProc(window_, msg, wParam, lParam);
    switch (phase_) {
    case Phase::Dialling: onDialling(msg, wParam); break;
    case Phase::Sending: onSending(msg, wParam, lParam); break;
    case Phase::Checking: onChecking(msg, wParam, lParam); break;
    case Phase::None: break;
    }
    return 0;
}

void Cycle::onDialling(UINT msg, WPARAM wParam) {
    int code = static_cast<int>(wParam);
    if (msg != dialNotices_.message) return;
    if (code == dialNotices_.connected) {
        DebugLine(LOG_NET, LOG_LOW, "RAS connect success");
        startSend();
    } else if (code == dialNotices_.failed) {
        postEngine(engineNotices_->dialFailed);
        end();
    }
}

void Cycle::onSending(UINT msg, WPARAM wParam, LPARAM lParam) {
    int code = static_cast<int>(wParam);
    if (msg != sendNotices_.message) return;
    if (code == sendNotices_.itemFailed || code == sendNotices_.sendFailed) {
        DebugLine(LOG_MAIL, LOG_HIGH, "Failure during sending of outgoing mail");
        postEngine(engineNotices_->sendFailed);
    } else if (code == sendNotices_.itemSent) {
        postEngine(engineNotices_->itemSent);
    } else if (code == sendNotices_.itemRefused) {
        sendMessage(notifyWindow_, engineNotices_->message, static_cast<WPARAM>(engineNotices_->itemRefused), lParam);
    } else if (code == sendNotices_.finished) {
        DebugLine(LOG_MAIL, LOG_MED, "End send");
        startCheck();
    }
}

void Cycle::onChecking(UINT msg, WPARAM wParam, LPARAM lParam) {
    int code = static_cast<int>(wParam);
    if (msg != checkNotices_.message) return;
    if (code == checkNotices_.newItem) {
        sendMessage(notifyWindow_, engineNotices_->message, static_cast<WPARAM>(engineNotices_->newItem), lParam);
    } else if (code == checkNotices_.retrieveFailed || code == checkNotices_.accountFailed) {
        // The check sends these with its account record, whose title names the account.
        const auto* account = reinterpret_cast<const config::AccountRecord*>(lParam);
        DebugLineStr(LOG_MAIL, LOG_HIGH, "Failed to check account :", account ? account->title.c_str() : "");
        postEngine(engineNotices_->checkFailed);
    } else if (code == checkNotices_.finished) {
        DebugLine(LOG_MAIL, LOG_MED, "End check");
        end();
    }
}

std::unique_ptr<RunningCycle> startCycle(HWND controlWindow, const CycleConfig& config, const EngineNotices& notices) {
    auto cycle = std::make_unique<Cycle>(controlWindow, kAccountsKey, kHoldingDirectory, config.outHostName,
                                         static_cast<int>(config.outHostPort), kQueueDirectory,
                                         config.rasEntry.c_str(), &notices);
    cycle->start();
    return cycle;
}
