#include "pop3/pop_auth.h"

#include "net/client.h"
#include "net/mail_client_notices.h"
#include "net/transport_security.h"
#include "shared/debug.h"

void POP_Auth::start() {
    DebugLine(LOG_APP, LOG_LOW, "POP_Auth::start");
    client_->lineBuffer().reset();
    greeted_ = false;
    if (pop().security() == Security::Tls) {
        waitIn(state_WAIT_TLS);
        if (!client_->startTls(pop().caFile())) onSecured(false);
        return;
    }
    waitIn(state_WAIT_GREETING);
}

int POP_Auth::dispatch(int event, long arg) {
    static const char* const kTrace[] = {nullptr,
                                         "POP_Auth::state_WAIT_GREETING :",
                                         "POP_Auth::state_WAIT_USER_ACK :",
                                         "POP_Auth::state_WAIT_PASS_ACK :",
                                         "POP_Auth::state_WAIT_STLS_ACK :",
                                         "POP_Auth::state_WAIT_TLS :"};
    if (state_ == state_IDLE) return 0;
    DebugLineInt(LOG_APP, LOG_LOW, kTrace[state_], event);
    if (event == Client::EV_SECURED && state_ == state_WAIT_TLS) {
        onSecured(arg == 1);
        return 1;
    }
    if (event == Client::EV_LINE) {
        std::string reply = pop().takeReply();
        switch (state_) {
        case state_WAIT_GREETING: onGreeting(reply); break;
        case state_WAIT_USER_ACK: onUserAck(reply); break;
        case state_WAIT_PASS_ACK: onPassAck(reply); break;
        case state_WAIT_STLS_ACK: onStlsAck(reply); break;
        default: break;   // the handshake emptied the line buffer; nothing can come in between
        }
        return 1;
    }
    if ((event == Client::EV_TIMEOUT || event == Client::EV_CLOSED) && state_ == state_WAIT_TLS)
        DebugLineStr(LOG_NET, LOG_HIGH, "TLS handshake got no answer from", client_->host().c_str());
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
    greeted_ = true;
    if (pop().security() == Security::StartTls && !client_->secured()) {
        awaitReply(pop().sendCommand(POPCommand::STLS), "STLS TX failed", state_WAIT_STLS_ACK);
        return;
    }
    sendUser();
}

void POP_Auth::sendUser() {
    awaitReply(pop().sendCommand(POPCommand::USER, pop().user()), "USER TX failed", state_WAIT_USER_ACK);
}

void POP_Auth::onStlsAck(const std::string& reply) {
    if (!POPClient::isPositive(reply)) {
        std::string why = client_->host() + " offers no STLS (" + reply + "): connection closed, nothing sent in clear";
        DebugLine(LOG_MAIL, LOG_HIGH, why.c_str());
        client_->closeSocket();
        fail();
        return;
    }
    waitIn(state_WAIT_TLS);
    if (!client_->startTls(pop().caFile())) onSecured(false);
}

void POP_Auth::onSecured(bool ok) {
    if (!ok) {
        // The client has logged the cause and closed the connection.
        client_->lineBuffer().reset();
        fail();
        return;
    }
    if (greeted_) {
        sendUser();
    } else {
        waitIn(state_WAIT_GREETING);
    }
}

void POP_Auth::onUserAck(const std::string& reply) {
    if (!accepted(reply, "-ve response to USER :")) return;
    DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to USER :", reply.c_str());
    // Set-ups that rely on it keep working, but the user learns that anyone on the way can read
    // the password. A client lives for one account's check, so this is said once a cycle.
    if (!passwordMayTravel(client_->secured(), client_->peerIsLoopback())) {
        std::string text = "password for " + client_->host() + " sent without encryption: set the account's security";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
    }
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
