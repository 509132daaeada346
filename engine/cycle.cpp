#include "engine/cycle.h"

#include "engine/engine_setup.h"
#include "platform/clock.h"
#include "pop3/check.h"
#include "log/debug.h"
#include "config/settings.h"
#include "config/settings_keys.h"

using namespace plat;

namespace {

// Time for the line to settle before anyone dials again.
constexpr int kPauseAfterDialUpMs = 3000;

}  // namespace

Cycle::Cycle(CycleObserver& observer, const std::string& accountKey, const std::string& holdingDirectory,
             const std::string& outHost, int outPort, const std::string& queueDirectory, const char* dialEntry)
    : observer_(observer),
      accountKey_(accountKey),
      holdingDirectory_(holdingDirectory),
      outHost_(outHost),
      outPort_(outPort),
      queueDirectory_(queueDirectory),
      dialEntry_(dialEntry ? dialEntry : "") {}

Cycle::~Cycle() {
    check_.reset();
    send_.reset();
    if (ras_) {
        ras_.reset();  // hangs up a line it dialled
        sleepMs(kPauseAfterDialUpMs);
    }
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
    tellLater(&CycleObserver::sendStarted);
    send_.reset();
    send_ = std::make_unique<Send>(outHost_.c_str(), outPort_, static_cast<SendObserver*>(this));
    send_->start(queueDirectory_);
}

void Cycle::startCheck() {
    DebugLine(LOG_APP, LOG_LOW, "Cycle::startCheck");
    phase_ = Phase::Checking;
    DebugLine(LOG_MAIL, LOG_MED, "Start check");
    tellLater(&CycleObserver::checkStarted);
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
        rerunRequested_ = false;  // rerun-locked stays: once per cycle
        startSend();
        return;
    }
    if (ras_) {
        ras_->hangUp();
        ras_.reset();
    }
    tellLater(&CycleObserver::cycleFinished);
}

void Cycle::dropRAS() {
    if (!ras_) return;
    ras_->hangUp();
    ras_.reset();
}

void Cycle::tellLater(void (CycleObserver::*event)()) {
    later_.post([observer = &observer_, event] { (observer->*event)(); });
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
    tellLater(&CycleObserver::dialFailed);
    end();
}

void Cycle::itemSent() {
    if (phase_ == Phase::Sending) tellLater(&CycleObserver::itemSent);
}

void Cycle::itemFailed() {
    if (phase_ != Phase::Sending) return;
    DebugLine(LOG_MAIL, LOG_HIGH, "Failure during sending of outgoing mail");
    tellLater(&CycleObserver::stepFailed);
}

void Cycle::connectionFailed() {
    itemFailed();
}

void Cycle::itemRefused(const std::string& path, const std::string& reply) {
    if (phase_ == Phase::Sending) observer_.itemRefused(path, reply);
}

void Cycle::sendFinished() {
    send_.reset();
    if (phase_ != Phase::Sending) return;
    DebugLine(LOG_MAIL, LOG_MED, "End send");
    startCheck();
}

void Cycle::itemStored(const std::string& path) {
    if (phase_ == Phase::Checking) observer_.itemStored(path);
}

void Cycle::accountEnded(const config::AccountRecord& account, AccountOutcome outcome) {
    if (phase_ != Phase::Checking || outcome == AccountOutcome::Done) return;
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Failed to check account :", account.title.c_str());
    tellLater(&CycleObserver::stepFailed);
}

void Cycle::checkFinished() {
    check_.reset();
    if (phase_ != Phase::Checking) return;
    DebugLine(LOG_MAIL, LOG_MED, "End check");
    end();
}

std::unique_ptr<RunningCycle> startCycle(CycleObserver& observer, const CycleConfig& config) {
    auto cycle = std::make_unique<Cycle>(observer, kAccountsKey, kHoldingDirectory, config.outHostName,
                                         static_cast<int>(config.outHostPort), kQueueDirectory,
                                         config.rasEntry.c_str());
    cycle->start();
    return cycle;
}
