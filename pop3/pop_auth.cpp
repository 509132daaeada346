#include "pop3/pop_auth.h"

#include "net/client.h"
#include "net/mail_client_notices.h"
#include "shared/debug.h"

void POP_Auth::start() {
    DebugLine(LOG_APP, LOG_LOW, "POP_Auth::start");
    client_->lineBuffer().reset();
    waitIn(state_WAIT_GREETING);
}

int POP_Auth::dispatch(int event, long) {
    static const char* const kTrace[] = {nullptr, "POP_Auth::state_WAIT_GREETING :",
                                         "POP_Auth::state_WAIT_USER_ACK :", "POP_Auth::state_WAIT_PASS_ACK :"};
    if (state_ == state_IDLE) return 0;
    DebugLineInt(LOG_APP, LOG_LOW, kTrace[state_], event);
    if (event == Client::EV_LINE) {
        std::string reply = pop().takeReply();
        switch (state_) {
        case state_WAIT_GREETING: onGreeting(reply); break;
        case state_WAIT_USER_ACK: onUserAck(reply); break;
        case state_WAIT_PASS_ACK: onPassAck(reply); break;
        }
        return 1;
    }
    // A silent or vanished server, or one that sends an endless line, ends the login.
    if (event == Client::EV_TIMEOUT || event == Client::EV_CLOSED || event == Client::EV_LINE_TOO_LONG) fail();
    return 0;
}

// A negative reply is logged with its text and fails the login.
bool POP_Auth::accepted(const std::string& reply, const char* negativeLine) {
    if (POPClient::isPositive(reply)) return true;
    DebugLineStr(LOG_MAIL, LOG_HIGH, negativeLine, reply.c_str());
    fail();
    return false;
}

// The next command went out, or the login fails with failureLine.
void POP_Auth::awaitReply(bool sent, const char* failureLine, State next) {
    if (!sent) {
        DebugLine(LOG_NET, LOG_HIGH, failureLine);
        DebugLine(LOG_MAIL, LOG_HIGH, failureLine);
        fail();
        return;
    }
    waitIn(next);
}

void POP_Auth::onGreeting(const std::string& reply) {
    if (!accepted(reply, "-ve response greeting :")) return;
    awaitReply(pop().sendCommand(POPCommand::USER, pop().user()), "USER TX failed", state_WAIT_USER_ACK);
}

void POP_Auth::onUserAck(const std::string& reply) {
    if (!accepted(reply, "-ve response to USER :")) return;
    DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to USER :", reply.c_str());
    awaitReply(pop().sendPassword(), "PASS TX failed", state_WAIT_PASS_ACK);
}

void POP_Auth::onPassAck(const std::string& reply) {
    if (!accepted(reply, "-ve response to PASS :")) return;
    DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to PASS :", reply.c_str());
    notify(MailClient::AUTH_COMPLETE);
    state_ = state_IDLE;
}

void POP_Auth::fail() {
    notify(MailClient::AUTH_FAIL);
    state_ = state_IDLE;
}
