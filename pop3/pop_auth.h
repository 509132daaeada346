// The POP3 login: wait for the greeting, send USER, then PASS; MailClient::AUTH_COMPLETE or
// AUTH_FAIL. The server speaks first, so starting sends nothing.
#pragma once

#include "pop3/pop_phase.h"

#include <string>

class POP_Auth : public POPPhase {
public:
    using POPPhase::POPPhase;
    enum State { state_IDLE = 0, state_WAIT_GREETING = 1, state_WAIT_USER_ACK = 2, state_WAIT_PASS_ACK = 3 };

    void start();
    int dispatch(int event, long arg) override;

private:
    void onGreeting(const std::string& reply);
    void onUserAck(const std::string& reply);
    void onPassAck(const std::string& reply);
    bool accepted(const std::string& reply, const char* negativeLine);
    void awaitReply(bool sent, const char* failureLine, State next);
    void fail();
};
