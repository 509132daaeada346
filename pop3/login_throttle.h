// Paces the password checks of the local servers (POP3 log-ins, SMTP AUTH), all sessions of
// both together, so that
// passwords cannot be guessed at speed: a check waits for its turn (one at most every
// kCheckSpacingMs, that is ten a second however many connections guess at once), and a wrong
// password is answered only kFailureDelayMs after its check. Both waits run on one timer: the
// engine's thread never sleeps.
//
// A callback runs on the engine's thread from the timer; a session that ends before its turn
// cancels its ticket, and nothing of it runs afterwards.
#pragma once

#include "platform/timer.h"

#include <cstdint>
#include <functional>
#include <set>
#include <unordered_map>
#include <utility>

class LoginThrottle {
public:
    static constexpr long long kCheckSpacingMs = 100;
    static constexpr long long kFailureDelayMs = 2000;

    using Ticket = std::uint64_t;  // 0: nothing waits

    LoginThrottle();
    LoginThrottle(const LoginThrottle&) = delete;
    LoginThrottle& operator=(const LoginThrottle&) = delete;

    // Runs check in the next free turn: at once (answering 0) when the last turn is
    // kCheckSpacingMs past, else later from the timer (answering its ticket).
    Ticket whenCheckAllowed(std::function<void()> check);
    // Runs answer kFailureDelayMs from now.
    Ticket afterFailureDelay(std::function<void()> answer);
    // Forgets a callback that has not run yet; 0 and unknown tickets are ignored. The turns
    // after the last one still waiting are free again, so that guesses given up do not keep
    // the right password waiting.
    void cancel(Ticket ticket);

    // Callbacks waiting to run.
    std::size_t waiting() const { return callbacks_.size(); }

private:
    Ticket at(long long dueMs, std::function<void()> callback, bool check);
    void runDue();
    void arm();

    plat::Timer timer_;
    struct Waiting {
        long long dueMs;
        bool check;  // a check's turn, not a delayed answer
        std::function<void()> callback;
    };

    long long nextCheckMs_ = 0;  // the earliest time of the next check's turn
    long long lastTurnMs_ = 0;  // the turn of the last check made
    Ticket lastTicket_ = 0;
    std::set<std::pair<long long, Ticket>> due_;  // (time, ticket), earliest first
    std::multiset<long long> turns_;  // the turns of the checks still waiting
    std::unordered_map<Ticket, Waiting> callbacks_;
};
