// The POP3 login: wait for the greeting, ask the server's capabilities (CAPA; a refusal means
// none), send USER, then PASS; the owner is told whether it logged in. The server speaks first,
// so starting sends nothing.
//
// A server that lists PIPELINING gets USER and PASS in one write, and their replies are read
// in order: the login costs one round trip less. The password goes ahead of USER's reply only
// to such a server; any other gets PASS only after a positive reply to USER.
//
// On a client set for TLS the handshake comes first (TLS from the first byte) or follows the
// greeting after STLS; the login then runs protected. TLS that cannot be had fails the login,
// with the cause logged, before the user name or the password goes out.
//
// With OAuth 2.0 the login takes the server's SASL mechanisms from CAPA's answer and sends AUTH
// OAUTHBEARER (or XOAUTH2 where that is not listed) with the access token as the response to
// the server's empty challenge (RFC 5034: a long initial response would break the command
// line's limit). It is never tried on a connection without TLS.
#pragma once

#include "net/sasl_bearer.h"
#include "pop3/pop_phase.h"

#include <string>

class POP_Auth : public POPPhase {
public:
    using POPPhase::POPPhase;
    enum State {
        state_IDLE = 0,
        state_WAIT_GREETING = 1,
        state_WAIT_USER_ACK = 2,
        state_WAIT_PASS_ACK = 3,
        state_WAIT_STLS_ACK = 4,
        state_WAIT_TLS = 5,
        state_WAIT_CAPA = 6,
        state_WAIT_AUTH_CHALLENGE = 7,
        state_WAIT_BEARER_ACK = 8,
        state_WAIT_BEARER_REFUSAL = 9,
        state_WAIT_PASS_AFTER_REFUSAL = 10,  // USER was refused, PASS's reply is still to come
    };

    void start();
    int dispatch(Connection::Event event, long arg) override;

private:
    void onGreeting(const std::string& reply);
    void onStlsAck(const std::string& reply);
    void onSecured(bool ok);
    void logIn();
    void sendUser();
    void warnOfPasswordInClear();
    void onCapaLine(const std::string& line);
    void onCapabilitiesKnown();
    void sendAuth();
    void onAuthChallenge(const std::string& reply);
    void onBearerReply(const std::string& reply);
    void onUserAck(const std::string& reply);
    void onPassAck(const std::string& reply);
    bool accepted(const std::string& reply, const char* negativeLine);
    void awaitReply(bool sent, const char* failureLine, State next);
    void fail();

    // What the server said to one CAPA (asked again after STLS).
    struct Capabilities {
        bool started = false;
        std::size_t lines = 0;
        bool offersOAuthBearer = false;
        bool offersXOAuth2 = false;
    };
    // One log-in's state, made fresh by start().
    struct Run {
        bool greeted = false;
        bool passwordAhead = false;  // PASS went out with USER
        Capabilities capabilities;
        BearerMechanism mechanism = BearerMechanism::None;
    };
    Run run_;
};
