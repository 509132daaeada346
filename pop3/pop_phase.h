// What the phases of the POP3 client share: the client they run on, and the numbered states.
#pragma once

#include "net/state_handler.h"
#include "pop3/pop_client.h"
#include "log/debug.h"

#include <string>

class POPPhase : public StateHandler {
public:
    explicit POPPhase(POPClient* client) : StateHandler(client) {}

protected:
    POPClient& pop() const { return *static_cast<POPClient*>(client_); }
    POPClientObserver* owner() const { return pop().observer(); }
    // Logs a failure once (MAIL, HIGH), naming the mailbox and the step: "POP3 ann at
    // pop.example.net: UIDL refused: -ERR ...".
    void logFailure(const std::string& step, const std::string& detail = {}) const {
        std::string text = "POP3 " + pop().user() + " at " + client_->host() + ": " + step;
        if (!detail.empty()) text += ": " + detail;
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
    }
    // Enters a state that waits for the server: the inactivity timer runs from here.
    void waitIn(int state) {
        state_ = state;
        client_->armTimeout();
    }
};
