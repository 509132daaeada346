// The dial-up connection, on NetworkManager's command-line client nmcli: dial a connection
// profile (the phone-book entry), learn asynchronously how the dial ended, hang up a line this
// process dialled, ask whether an entry is connected, list the entries.
//
// "The library is loaded" when an executable nmcli was on PATH when the object was built
// (RASStatus, which also answers the status questions).
// One dial per object: it keeps its observer and the line it dialled, and hears
// its dial's nmcli end on the loop's thread.
#pragma once

#include "platform/deferred_calls.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "dialup/ras_status.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// How a dial ended, told to the owner in a turn of the loop of its own.
class DialObserver {
public:
    virtual ~DialObserver() = default;
    virtual void dialConnected() = 0;
    virtual void dialFailed() = 0;
};

// The bounds: nmcli's own --wait for a dial, when a dial's nmcli that has not ended by itself
// is stopped, and how long hangUp waits for the line to go. Tests shorten them.
struct DialBounds {
    int dialWaitSeconds = 120;
    int dialKillAfterMs = 130000;
    int hangUpWaitMs = 10000;
};

class RASConnection : public RASStatus {
public:
    static constexpr int kHangUpStepMs = 100;

    // How dials end is told to observer; without one (the front end, which only asks the
    // status questions) nobody is told.
    explicit RASConnection(DialObserver* observer, DialBounds bounds = {});
    // Hangs up when dial was called on this object.
    ~RASConnection();
    RASConnection(const RASConnection&) = delete;
    RASConnection& operator=(const RASConnection&) = delete;

    // Starts connecting entry; exactly one of connected or failed is told later, except
    // while an earlier dial of this object is still pending (that one reports).
    void dial(const char* entry);
    // Ends the line this object dialled (also a dial still pending) and waits, in steps of
    // 100 ms for at most bounds.hangUpWaitMs, until NetworkManager no longer lists it as active.
    void hangUp();
    // How a dial ended: a connection state and an error (0 for none). Tells the observer.
    void dialStateCallback(unsigned state, unsigned long error);

private:
    // The line this object dialled: the entry as NetworkManager names it, and the pid of the
    // nmcli that is still dialling it (0 once that has ended).
    struct DialHandle {
        std::string entry;
        int pid = 0;
    };

    enum class Outcome { Connected, Failed };
    void tellLater(Outcome outcome);
    void onWatchdog();
    void onDialEnded(int pid, unsigned long error);

    DialObserver* observer_;
    plat::DeferredCalls later_;
    DialBounds bounds_;
    std::optional<DialHandle> line_;
    plat::Timer watchdog_;  // stops a dial's nmcli that has not ended in time
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // held while this object lives
    bool dialRequested_ = false;
};
