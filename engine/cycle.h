// One cycle: dial the dial-up entry if one is configured, deliver the outgoing queue, check
// every account, hang up a line the cycle dialled, and say that it has finished.
//
// The cycle owns the component of its current step and is its observer. What the front end
// must know goes to the control window, the cycle's CycleObserver. A component is deleted only when it
// says it has finished (or, for the dial, failed), which it does in a turn of the loop of its
// own, so none of its handlers is running then.
#pragma once

#include "engine/control_window.h"
#include "platform/deferred_calls.h"
#include "pop3/check.h"
#include "dialup/ras_connection.h"
#include "smtp/send.h"

#include <memory>
#include <string>

class Cycle : public RunningCycle, private DialObserver, private SendObserver, private CheckObserver {
public:
    enum class Phase { None = 0, Dialling = 1, Sending = 2, Checking = 3 };

    // dialEntry empty or null: no dialling. observer belongs to the caller and outlives the cycle.
    Cycle(CycleObserver& observer, const std::string& accountKey, const std::string& holdingDirectory,
          const std::string& outHost, int outPort, const std::string& queueDirectory, const char* dialEntry);
    // Deletes the check, the send and the dial-up connection (hanging up a line it dialled,
    // then pausing 3 s).
    ~Cycle() override;
    Cycle(const Cycle&) = delete;
    Cycle& operator=(const Cycle&) = delete;

    void start();
    // At most one further send and check per cycle.
    void rerunRequest() override;

    Phase phase() const { return phase_; }

private:
    void dialConnected() override;
    void dialFailed() override;
    void itemSent() override;
    void itemFailed() override;
    void itemRefused(const std::string& path, const std::string& reply) override;
    void connectionFailed() override;
    void sendFinished() override;
    void accountStarted(const config::AccountRecord&) override {}
    void itemStored(const std::string& path) override;
    void accountEnded(const config::AccountRecord& account, AccountOutcome outcome) override;
    void checkFinished() override;

    void startRAS();
    void startSend();
    void startCheck();
    void end();
    void dropRAS();
    // Tells the control window in a turn of the loop of its own.
    void tellLater(void (CycleObserver::*event)());

    CycleObserver& observer_;
    plat::DeferredCalls later_;
    bool rerunRequested_ = false;
    bool rerunLocked_ = false;
    std::string accountKey_;
    std::string holdingDirectory_;
    std::string outHost_;
    int outPort_;
    std::string queueDirectory_;
    std::string dialEntry_;
    Phase phase_ = Phase::None;
    std::unique_ptr<RASConnection> ras_;
    std::unique_ptr<Check> check_;
    std::unique_ptr<Send> send_;
};

// The control window's cycle factory: a started cycle for a configuration, with the accounts
// key, "accounts/holding/" and "outgoing/".
std::unique_ptr<RunningCycle> startCycle(CycleObserver& observer, const CycleConfig& config);
