// One cycle: dial the dial-up entry if one is configured, deliver the outgoing queue, check
// every account, hang up a line the cycle dialled, and say that it has finished.
//
// The cycle owns the component of its current step and is its observer. What the front end
// must know goes to the control window as EngineNotices. A component is deleted only when it
// says it has finished (or, for the dial, failed), which it does in a turn of the loop of its
// own, so none of its handlers is running then.
#pragma once

#include "engine/control_window.h"
#include "engine/engine_notices.h"
#include "platform/window.h"
#include "pop3/check.h"
#include "shared/ras_connection.h"
#include "smtp/send.h"

#include <memory>
#include <string>

class Cycle : public RunningCycle, private DialObserver, private SendObserver, private CheckObserver {
public:
    enum class Phase { None = 0, Dialling = 1, Sending = 2, Checking = 3 };

    // dialEntry empty or null: no dialling. notices belongs to the caller and outlives the cycle.
    Cycle(plat::HWND notifyWindow, const std::string& accountKey, const std::string& holdingDirectory,
          const std::string& outHost, int outPort, const std::string& queueDirectory, const char* dialEntry,
          const EngineNotices* notices);
    // Deletes the check, the send and the dial-up connection (hanging up a line it dialled,
    // then pausing 3 s), then the window.
    ~Cycle() override;
    Cycle(const Cycle&) = delete;
    Cycle& operator=(const Cycle&) = delete;

    void start();
    // At most one further send and check per cycle.
    void rerunRequest() override;

    plat::HWND window() const { return window_; }
    Phase phase() const { return phase_; }

private:
    static plat::LRESULT procedure(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);

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
    void postEngine(int code);

    plat::HWND notifyWindow_;
    bool rerunRequested_ = false;
    bool rerunLocked_ = false;
    std::string accountKey_;
    std::string holdingDirectory_;
    std::string outHost_;
    int outPort_;
    std::string queueDirectory_;
    std::string dialEntry_;
    const EngineNotices* engineNotices_;
    plat::HWND window_ = 0;
    Phase phase_ = Phase::None;
    std::unique_ptr<RASConnection> ras_;
    std::unique_ptr<Check> check_;
    std::unique_ptr<Send> send_;
};

// The control window's cycle factory: a started cycle for a configuration, with the accounts
// key, "accounts/holding/" and "outgoing/".
std::unique_ptr<RunningCycle> startCycle(plat::HWND controlWindow, const CycleConfig& config,
                                         const EngineNotices& notices);
