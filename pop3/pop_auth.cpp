#include "pop3/pop_auth.h"

#include "net/connection.h"
#include "net/command_words.h"
#include "net/transport_security.h"
#include "log/debug.h"

void POP_Auth::start() {
    DebugLine(LOG_APP, LOG_LOW, "POP_Auth::start");
    client_->lineBuffer().reset();
    run_ = Run{};
    pop().setPipelining(false);
    if (pop().security() == Security::Tls) {
        waitIn(state_WAIT_TLS);
        if (!client_->startTls(pop().caFile())) onSecured(false);
        return;
    }
    waitIn(state_WAIT_GREETING);
}

int POP_Auth::dispatch(Connection::Event event, long arg) {
    static const char* const kTrace[] = {nullptr,
                                         "POP_Auth::state_WAIT_GREETING :",
                                         "POP_Auth::state_WAIT_USER_ACK :",
                                         "POP_Auth::state_WAIT_PASS_ACK :",
                                         "POP_Auth::state_WAIT_STLS_ACK :",
                                         "POP_Auth::state_WAIT_TLS :",
                                         "POP_Auth::state_WAIT_CAPA :",
                                         "POP_Auth::state_WAIT_AUTH_CHALLENGE :",
                                         "POP_Auth::state_WAIT_BEARER_ACK :",
                                         "POP_Auth::state_WAIT_BEARER_REFUSAL :",
                                         "POP_Auth::state_WAIT_PASS_AFTER_REFUSAL :"};
    if (state_ == state_IDLE) return 0;
    DebugLineInt(LOG_APP, LOG_LOW, kTrace[state_], event);
    if (event == Connection::EV_SECURED && state_ == state_WAIT_TLS) {
        onSecured(arg == 1);
        return 1;
    }
    if (event == Connection::EV_LINE) {
        std::string reply = pop().takeReply();
        switch (state_) {
        case state_WAIT_GREETING: onGreeting(reply); break;
        case state_WAIT_USER_ACK: onUserAck(reply); break;
        case state_WAIT_PASS_ACK: onPassAck(reply); break;
        case state_WAIT_STLS_ACK: onStlsAck(reply); break;
        case state_WAIT_CAPA: onCapaLine(reply); break;
        case state_WAIT_AUTH_CHALLENGE: onAuthChallenge(reply); break;
        case state_WAIT_BEARER_ACK:
        case state_WAIT_BEARER_REFUSAL: onBearerReply(reply); break;
        case state_WAIT_PASS_AFTER_REFUSAL: fail(); break;  // the refused USER is logged already
        default: break;  // the handshake emptied the line buffer; nothing can come in between
        }
        return 1;
    }
    if ((event == Connection::EV_TIMEOUT || event == Connection::EV_CLOSED) && state_ == state_WAIT_TLS)
        DebugLineStr(LOG_NET, LOG_HIGH, "TLS handshake got no answer from", client_->host().c_str());
    // A silent or vanished server, or one that sends an endless line, ends the login.
    if (event == Connection::EV_TIMEOUT || event == Connection::EV_CLOSED || event == Connection::EV_LINE_TOO_LONG)
        fail();
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
        logFailure(failureLine);
        fail();
        return;
    }
    waitIn(next);
}

void POP_Auth::onGreeting(const std::string& reply) {
    if (!accepted(reply, "-ve response greeting :")) return;
    run_.greeted = true;
    if (pop().security() == Security::StartTls && !client_->secured()) {
        awaitReply(pop().sendCommand(POPCommand::STLS), "STLS could not be sent", state_WAIT_STLS_ACK);
        return;
    }
    logIn();
}

void POP_Auth::logIn() {
    if (pop().oauth() && !client_->secured()) {
        std::string why = "OAuth 2.0 sign-in for " + client_->host() +
                          " not attempted over a connection without TLS: set the account's security";
        DebugLine(LOG_MAIL, LOG_HIGH, why.c_str());
        client_->closeSocket();
        fail();
        return;
    }
    run_.capabilities = Capabilities{};
    awaitReply(pop().sendCommand(POPCommand::CAPA), "CAPA could not be sent", state_WAIT_CAPA);
}

void POP_Auth::onCapaLine(const std::string& line) {
    if (!run_.capabilities.started) {
        run_.capabilities.started = true;
        // A server without CAPA may still know XOAUTH2, the mechanism most providers offer.
        if (!POPClient::isPositive(line)) {
            run_.capabilities.offersXOAuth2 = true;
            onCapabilitiesKnown();
        } else {
            client_->armTimeout();
        }
        return;
    }
    if (line == ".") {
        onCapabilitiesKnown();
        return;
    }
    client_->armTimeout();
    if (!pop().countCapabilityLine(run_.capabilities.lines)) {
        fail();
        return;
    }
    std::vector<std::string> words = cmdline::words(line);
    if (words.empty()) return;
    if (cmdline::equalsNoCase(words[0], "PIPELINING")) pop().setPipelining(true);
    if (!cmdline::equalsNoCase(words[0], "SASL")) return;
    for (const std::string& word : words) {
        if (cmdline::equalsNoCase(word, "OAUTHBEARER")) run_.capabilities.offersOAuthBearer = true;
        if (cmdline::equalsNoCase(word, "XOAUTH2")) run_.capabilities.offersXOAuth2 = true;
    }
}

void POP_Auth::onCapabilitiesKnown() {
    if (pop().oauth()) {
        sendAuth();
    } else {
        sendUser();
    }
}

void POP_Auth::sendAuth() {
    run_.mechanism = chooseBearerMechanism(run_.capabilities.offersOAuthBearer, run_.capabilities.offersXOAuth2);
    if (run_.mechanism == BearerMechanism::None) {
        std::string why = client_->host() + " offers no login by AUTH OAUTHBEARER or XOAUTH2";
        DebugLine(LOG_MAIL, LOG_HIGH, why.c_str());
        fail();
        return;
    }
    awaitReply(pop().sendCommand(POPCommand::AUTH, bearerMechanismName(run_.mechanism)), "AUTH could not be sent",
               state_WAIT_AUTH_CHALLENGE);
}

// "+ " and an empty challenge ask for the response; "+OK" or "-ERR" end the exchange.
static bool isChallenge(const std::string& reply) {
    return !reply.empty() && reply[0] == '+' && (reply.size() == 1 || reply[1] == ' ');
}

void POP_Auth::onAuthChallenge(const std::string& reply) {
    if (!isChallenge(reply)) {
        DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to AUTH :", reply.c_str());
        fail();
        return;
    }
    std::string response = bearerInitialResponse(run_.mechanism, pop().user(), client_->host(), client_->port(),
                                                 pop().password());
    if (response.empty()) {
        std::string why = "no usable access token or user name for " + client_->host();
        DebugLine(LOG_MAIL, LOG_HIGH, why.c_str());
        pop().sendSaslResponse("*");  // cancels the exchange
        fail();
        return;
    }
    awaitReply(pop().sendSaslResponse(response), "AUTH response could not be sent", state_WAIT_BEARER_ACK);
}

void POP_Auth::onBearerReply(const std::string& reply) {
    if (state_ == state_WAIT_BEARER_ACK && isChallenge(reply)) {
        // The challenge carries the server's error report; the exchange ends with our answer.
        awaitReply(pop().sendSaslResponse(bearerErrorAcknowledgement(run_.mechanism)),
                   "AUTH response could not be sent", state_WAIT_BEARER_REFUSAL);
        return;
    }
    if (state_ == state_WAIT_BEARER_ACK && POPClient::isPositive(reply)) {
        DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to AUTH :", reply.c_str());
        state_ = state_IDLE;
        if (owner()) owner()->loggedIn(true);
        return;
    }
    pop().noteTokenRefused();
    std::string why = client_->host() + " refused the access token of " + pop().user() + ": " + reply;
    DebugLine(LOG_MAIL, LOG_HIGH, why.c_str());
    fail();
}

void POP_Auth::sendUser() {
    if (!pop().pipelining()) {
        awaitReply(pop().sendCommand(POPCommand::USER, pop().user()), "USER could not be sent", state_WAIT_USER_ACK);
        return;
    }
    warnOfPasswordInClear();
    run_.passwordAhead = true;
    awaitReply(pop().sendUserAndPassword(), "USER could not be sent", state_WAIT_USER_ACK);
}

void POP_Auth::warnOfPasswordInClear() {
    // Set-ups that rely on it keep working, but the user learns that anyone on the way can read
    // the password. A client lives for one account's check, so this is said once a cycle.
    if (!passwordMayTravel(client_->secured(), client_->peerIsLoopback())) {
        std::string text = "password for " + client_->host() + " sent without encryption: set the account's security";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
    }
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
    if (run_.greeted) {
        logIn();
    } else {
        waitIn(state_WAIT_GREETING);
    }
}

void POP_Auth::onUserAck(const std::string& reply) {
    if (run_.passwordAhead && !POPClient::isPositive(reply)) {
        DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to USER :", reply.c_str());
        // PASS's reply is read before the login ends, or the close would take it for QUIT's.
        waitIn(state_WAIT_PASS_AFTER_REFUSAL);
        return;
    }
    if (!accepted(reply, "-ve response to USER :")) return;
    DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to USER :", reply.c_str());
    if (run_.passwordAhead) {
        waitIn(state_WAIT_PASS_ACK);
        return;
    }
    warnOfPasswordInClear();
    awaitReply(pop().sendPassword(), "PASS could not be sent", state_WAIT_PASS_ACK);
}

void POP_Auth::onPassAck(const std::string& reply) {
    if (!accepted(reply, "-ve response to PASS :")) return;
    DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to PASS :", reply.c_str());
    state_ = state_IDLE;
    if (owner()) owner()->loggedIn(true);
}

void POP_Auth::fail() {
    state_ = state_IDLE;
    if (owner()) owner()->loggedIn(false);
}
