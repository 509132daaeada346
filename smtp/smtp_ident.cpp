#include "smtp/smtp_ident.h"

#include "net/connection.h"
#include "net/transport_security.h"
#include "log/debug.h"
#include "smtp/smtp_client.h"

void SMTP_Ident::start() {
    client_->lineBuffer().reset();
    smtp().beginSession();
    run_ = Run{};
    if (smtp().security() == Security::Tls) {
        state_ = state_WAIT_TLS;
        client_->armTimeout();
        if (!client_->startTls(smtp().caFile())) onSecured(false);
        return;
    }
    state_ = state_WAIT_SMTP_GREETING;
    client_->armTimeout();
}

int SMTP_Ident::dispatch(Connection::Event event, long arg) {
    if (state_ == 0) return 0;
    if (event == Connection::EV_SECURED && state_ == state_WAIT_TLS) {
        onSecured(arg == 1);
        return 1;
    }
    if (event == Connection::EV_TIMEOUT || event == Connection::EV_CLOSED) {
        if (state_ == state_WAIT_TLS)
            DebugLineStr(LOG_NET, LOG_HIGH, "TLS handshake got no answer from", client_->host().c_str());
        dropConnection();
        end(false);
        return 0;
    }
    if (event != Connection::EV_LINE) return 0;
    bool final = takeFinalReply();
    if (state_ == state_WAIT_EHLO_ACK) run_.capabilities.note(reply());
    if (!final) return 1;

    switch (state_) {
    case state_WAIT_SMTP_GREETING: onGreeting(); break;
    case state_WAIT_HELO_ACK: end(replyPositive()); break;
    case state_WAIT_EHLO_ACK: onEhloReply(); break;
    case state_WAIT_STARTTLS_ACK: onStartTlsReply(); break;
    case state_WAIT_AUTH_ACK:
    case state_WAIT_LOGIN_USER_PROMPT:
    case state_WAIT_LOGIN_PASS_PROMPT: onAuthReply(); break;
    case state_WAIT_BEARER_ACK:
    case state_WAIT_BEARER_REFUSAL: onBearerReply(); break;
    default:
        // A line while the handshake runs cannot be: the line buffer was emptied for it.
        break;
    }
    return 1;
}

void SMTP_Ident::send(const std::string& command, State next) {
    if (sendCommand(command)) {
        state_ = next;
        client_->armTimeout();
    } else {
        dropConnection();
        end(false);
    }
}

void SMTP_Ident::refuse(const std::string& why) {
    DebugLine(LOG_MAIL, LOG_HIGH, why.c_str());
    dropConnection();
    end(false);
}

void SMTP_Ident::onGreeting() {
    if (!replyPositive()) {
        end(false);
        return;
    }
    run_.greeted = true;
    // EHLO, to learn the service extensions; a server that does not know it gets HELO.
    run_.capabilities = {};
    send("EHLO " + smtp().heloName(), state_WAIT_EHLO_ACK);
}

void SMTP_Ident::onEhloReply() {
    const std::string& host = client_->host();
    if (!replyPositive()) {
        // Only a connection that needs neither TLS nor a log-in can do without the extensions.
        bool plain = smtp().security() == Security::None && smtp().user().empty() && !smtp().oauth();
        if (plain && replyPermanent()) {
            send("HELO " + smtp().heloName(), state_WAIT_HELO_ACK);
            return;
        }
        refuse(host + " refused EHLO: " + reply());
        return;
    }
    smtp().setPipelining(run_.capabilities.pipelining);
    smtp().setChunking(run_.capabilities.chunking && run_.capabilities.pipelining);
    if (smtp().security() == Security::StartTls && !client_->secured()) {
        if (!run_.capabilities.startTls) {
            refuse(host + " offers no STARTTLS: connection closed, nothing sent in clear");
            return;
        }
        send("STARTTLS", state_WAIT_STARTTLS_ACK);
        return;
    }
    if (smtp().oauth()) {
        logInWithToken();
        return;
    }
    if (smtp().user().empty()) {
        end(true);
        return;
    }
    logIn();
}

void SMTP_Ident::onStartTlsReply() {
    if (reply()[0] != '2') {
        refuse(client_->host() + " refused STARTTLS: " + reply() + " (nothing sent in clear)");
        return;
    }
    state_ = state_WAIT_TLS;
    client_->armTimeout();
    if (!client_->startTls(smtp().caFile())) onSecured(false);
}

void SMTP_Ident::onSecured(bool ok) {
    if (!ok) {
        // The client has logged the cause and closed the connection.
        end(false);
        return;
    }
    if (!run_.greeted) {
        state_ = state_WAIT_SMTP_GREETING;
        client_->armTimeout();
        return;
    }
    // What the server said before the handshake counts for nothing now.
    run_.capabilities = {};
    send("EHLO " + smtp().heloName(), state_WAIT_EHLO_ACK);
}

void SMTP_Ident::logIn() {
    const std::string& host = client_->host();
    if (!passwordMayTravel(client_->secured(), client_->peerIsLoopback())) {
        refuse("password for " + host + " not sent over a connection without TLS");
        return;
    }
    if (run_.capabilities.authPlain) {
        send(authPlainCommand(smtp().user(), smtp().password()), state_WAIT_AUTH_ACK);
    } else if (run_.capabilities.authLogin) {
        send("AUTH LOGIN", state_WAIT_LOGIN_USER_PROMPT);
    } else {
        refuse(host + " offers no log-in by AUTH PLAIN or LOGIN");
    }
}

void SMTP_Ident::onAuthReply() {
    bool prompt = reply()[0] == '3';
    if (state_ == state_WAIT_LOGIN_USER_PROMPT && prompt) {
        send(base64Encode(smtp().user()), state_WAIT_LOGIN_PASS_PROMPT);
    } else if (state_ == state_WAIT_LOGIN_PASS_PROMPT && prompt) {
        send(base64Encode(smtp().password()), state_WAIT_AUTH_ACK);
    } else if (state_ == state_WAIT_AUTH_ACK && reply()[0] == '2') {
        end(true);
    } else {
        // A refused log-in ends the send; the queue stays for the next cycle.
        refuse(client_->host() + " refused the log-in of " + smtp().user() + ": " + reply());
    }
}

void SMTP_Ident::logInWithToken() {
    const std::string& host = client_->host();
    if (!client_->secured()) {
        refuse("OAuth 2.0 sign-in for " + host + " not attempted over a connection without TLS: set its security");
        return;
    }
    run_.mechanism = chooseBearerMechanism(run_.capabilities.authOauthBearer, run_.capabilities.authXoauth2);
    if (run_.mechanism == BearerMechanism::None) {
        refuse(host + " offers no log-in by AUTH OAUTHBEARER or XOAUTH2");
        return;
    }
    std::string response = bearerInitialResponse(run_.mechanism, smtp().user(), host, client_->port(),
                                                 smtp().password());
    if (response.empty()) {
        refuse("no usable access token or user name for " + host);
        return;
    }
    send(std::string("AUTH ") + bearerMechanismName(run_.mechanism) + " " + response, state_WAIT_BEARER_ACK);
}

void SMTP_Ident::onBearerReply() {
    if (state_ == state_WAIT_BEARER_ACK && reply()[0] == '2') {
        end(true);
        return;
    }
    if (state_ == state_WAIT_BEARER_ACK && reply()[0] == '3') {
        // The challenge carries the server's error report; the exchange ends with our answer.
        send(bearerErrorAcknowledgement(run_.mechanism), state_WAIT_BEARER_REFUSAL);
        return;
    }
    // A permanent refusal says the token is no good; a 4xx one is the server's trouble.
    if (reply()[0] == '5') smtp().noteTokenRefused();
    refuse(client_->host() + " refused the access token of " + smtp().user() + ": " + reply());
}

void SMTP_Ident::end(bool ok) {
    state_ = 0;
    if (owner()) owner()->identified(ok);
}
