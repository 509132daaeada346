// What the phases of the POP3 client share: the client they run on, and the numbered states.
#pragma once

#include "net/state_handler.h"
#include "pop3/pop_client.h"

class POPPhase : public StateHandler {
public:
    explicit POPPhase(POPClient* client) : StateHandler(client) {}

protected:
    POPClient& pop() const { return *static_cast<POPClient*>(client_); }
    POPClientObserver* owner() const { return pop().observer(); }
    // Enters a state that waits for the server: the inactivity timer runs from here.
    void waitIn(int state) {
        state_ = state;
        client_->armTimeout();
    }
};
