// Identification: wait for the server's greeting, send EHLO (HELO when the server refuses EHLO
// for good and the connection needs neither TLS nor a log-in), note whether the server takes
// commands in groups (PIPELINING), and tell the owner whether it identified.
//
// With a protected connection or a user name configured on the client, the phase also puts
// TLS on the connection (from the first byte, or after STARTTLS and a second EHLO) and logs in
// (AUTH PLAIN, or AUTH LOGIN where PLAIN is not offered; with OAuth 2.0 AUTH OAUTHBEARER, or
// XOAUTH2 where that is not offered, never without TLS). Whatever cannot be had as configured
// fails the phase, with the cause logged, before a password or a message goes out.
#pragma once

#include "net/sasl_bearer.h"
#include "smtp/smtp_extensions.h"
#include "smtp/smtp_phase.h"

class SMTP_Ident : public SMTPPhase {
public:
    enum State : int {
        state_WAIT_SMTP_GREETING = 1,
        state_WAIT_HELO_ACK = 2,
        state_WAIT_EHLO_ACK = 3,
        state_WAIT_STARTTLS_ACK = 4,
        state_WAIT_TLS = 5,
        state_WAIT_AUTH_ACK = 6,
        state_WAIT_LOGIN_USER_PROMPT = 7,
        state_WAIT_LOGIN_PASS_PROMPT = 8,
        state_WAIT_BEARER_ACK = 9,
        state_WAIT_BEARER_REFUSAL = 10,
    };

    using SMTPPhase::SMTPPhase;

    // Drops what the client holds and waits for the greeting (after the handshake, for TLS
    // from the first byte).
    void start();
    int dispatch(Connection::Event event, long arg) override;

private:
    void onGreeting();
    void onEhloReply();
    void onStartTlsReply();
    void onSecured(bool ok);
    void onAuthReply();
    void logIn();
    void logInWithToken();
    void onBearerReply();
    void send(const std::string& command, State next);
    // Ends the phase and tells the owner whether the server took us.
    void end(bool ok);
    // Logs why (MAIL, HIGH), gives the connection up and reports IDENT_FAIL.
    void refuse(const std::string& why);

    // Everything one identification and log-in knows, made fresh at each start.
    struct Run {
        EhloCapabilities capabilities;
        bool greeted = false;
        BearerMechanism mechanism = BearerMechanism::None;
    };
    Run run_;
};
