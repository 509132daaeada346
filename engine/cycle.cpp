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
    ras_ = std::make_unique<RASConnection>(static_cast<DialObserver*>(this));
    ras_->dial(dialEntry_.c_str());
}

void Cycle::startSend() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle::startSend");
    phase_ = Phase::Sending;
    DebugLine(LOG_MAIL, LOG_MED, "Start send");
    postEngine(engineNotices_->sendStarted);
    send_.reset();
    send_ = std::make_unique<Send>(outHost_.c_str(), outPort_, static_cast<SendObserver*>(this));
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
    check_ = std::make_unique<Check>(accountKey_, static_cast<CheckObserver*>(this));
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
    return defWindowProc(hwnd, msg, wParam, lParam);
}

void Cycle::dialConnected() {
    if (phase_ != Phase::Dialling) return;
    DebugLine(LOG_NET, LOG_LOW, "RAS connect success");
    startSend();
}

void Cycle::dialFailed() {
    // Whatever the phase, a failed dial-up connection is dropped at once.
    DebugLine(LOG_NET, LOG_HIGH, "Dial-Up Networking failed to establish connection");
    dropRAS();
    if (phase_ != Phase::Dialling) return;
    postEngine(engineNotices_->dialFailed);
    end();
}

void Cycle::itemSent() {
    if (phase_ == Phase::Sending) postEngine(engineNotices_->itemSent);
}

void Cycle::itemFailed() {
    if (phase_ != Phase::Sending) return;
    DebugLine(LOG_MAIL, LOG_HIGH, "Failure during sending of outgoing mail");
    postEngine(engineNotices_->sendFailed);
}

void Cycle::connectionFailed() {
    itemFailed();
}

void Cycle::itemRefused(const std::string& path, const std::string& reply) {
    if (phase_ != Phase::Sending) return;
    // The control window's record: the path first, so that a reader of it as text sees just
    // the path, then the refusal's lines.
    std::string record = path + '\0' + reply + '\0';
    sendMessage(notifyWindow_, engineNotices_->message, static_cast<WPARAM>(engineNotices_->itemRefused),
                reinterpret_cast<LPARAM>(record.c_str()));
}

void Cycle::sendFinished() {
    send_.reset();
    if (phase_ != Phase::Sending) return;
    DebugLine(LOG_MAIL, LOG_MED, "End send");
    startCheck();
}

void Cycle::itemStored(const std::string& path) {
    if (phase_ != Phase::Checking) return;
    sendMessage(notifyWindow_, engineNotices_->message, static_cast<WPARAM>(engineNotices_->newItem),
                reinterpret_cast<LPARAM>(path.c_str()));
}

void Cycle::accountEnded(const config::AccountRecord& account, AccountOutcome outcome) {
    if (phase_ != Phase::Checking || outcome == AccountOutcome::Done) return;
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Failed to check account :", account.title.c_str());
    postEngine(engineNotices_->checkFailed);
}

void Cycle::checkFinished() {
    check_.reset();
    if (phase_ != Phase::Checking) return;
    DebugLine(LOG_MAIL, LOG_MED, "End check");
    end();
}

std::unique_ptr<RunningCycle> startCycle(HWND controlWindow, const CycleConfig& config, const EngineNotices& notices) {
    auto cycle = std::make_unique<Cycle>(controlWindow, kAccountsKey, kHoldingDirectory, config.outHostName,
                                         static_cast<int>(config.outHostPort), kQueueDirectory,
                                         config.rasEntry.c_str(), &notices);
    cycle->start();
    return cycle;
}
