#include "imap/imap_auth.h"

#include "imap/imap_record.h"
#include "net/base64.h"
#include "log/debug.h"

using imaprec::quote;

void IMAP_Auth::start() {
    DebugLine(LOG_APP, LOG_LOW, "IMAP_Auth::start");
    greeted_ = preauth_ = false;
    imap().forgetCapabilities();
    client_->lineBuffer().reset();
    if (imap().security() == Security::Tls) {
        waitIn(state_WAIT_TLS);
        if (!imap().beginTls()) onSecured(false);
        return;
    }
    waitIn(state_WAIT_GREETING);
}

int IMAP_Auth::dispatch(Connection::Event event, long arg) {
    if (event == Connection::EV_SECURED && state_ == state_WAIT_TLS) {
        onSecured(arg == 1);
        return 1;
    }
    if ((event == Connection::EV_TIMEOUT || event == Connection::EV_CLOSED) && state_ == state_WAIT_TLS)
        DebugLineStr(LOG_NET, LOG_HIGH, "TLS handshake got no answer from", client_->host().c_str());
    return IMAPPhase::dispatch(event, arg);
}

void IMAP_Auth::onBroken(const std::string& why) {
    if (state_ == state_IDLE) return;
    logFailure("login failed: " + why);
    fail();
}

void IMAP_Auth::onSecured(bool ok) {
    if (!ok) {
        client_->lineBuffer().reset();
        fail();
        return;
    }
    imap().forgetCapabilities();
    if (greeted_) {
        askCapabilities();
    } else {
        waitIn(state_WAIT_GREETING);
    }
}

void IMAP_Auth::onUntagged(const IMAPResponse& r) {
    if (r.word(0) == "CAPABILITY") {
        std::vector<std::string> words;
        for (std::size_t i = 1; i < r.tokens.size(); ++i)
            if (r.tokens[i].type == IMAPToken::Type::Atom) words.push_back(r.tokens[i].text);
        imap().setCapabilities(words);
        return;
    }
    if (state_ != state_WAIT_GREETING) return;
    if (r.isStatus("OK") || r.isStatus("PREAUTH")) {
        greeted_ = true;
        preauth_ = r.isStatus("PREAUTH");
        if (r.code.compare(0, 10, "CAPABILITY") == 0) imap().setCapabilitiesFromText(r.code);
        afterGreeting();
        return;
    }
    logFailure("greeting refused: " + r.word(0) + " " + r.text);
    fail();
}

void IMAP_Auth::afterGreeting() {
    if (imap().security() == Security::StartTls && !client_->secured()) {
        if (preauth_) {
            logFailure("server logged in before STARTTLS: connection closed, nothing sent in clear");
            client_->closeSocket();
            fail();
            return;
        }
        waitIn(state_WAIT_REPLY);
        bool sent = imap().command("STARTTLS", [this](const IMAPResponse& r) {
            if (!r.isStatus("OK")) {
                logFailure("offers no STARTTLS (" + r.text + "): connection closed, nothing sent in clear");
                client_->closeSocket();
                fail();
                return;
            }
            waitIn(state_WAIT_TLS);
            if (!imap().beginTls()) onSecured(false);
        });
        if (!sent) fail();
        return;
    }
    if (preauth_) {
        succeed();
        return;
    }
    askCapabilities();
}

void IMAP_Auth::askCapabilities() {
    if (imap().capabilitiesKnown()) {
        logIn();
        return;
    }
    waitIn(state_WAIT_REPLY);
    bool sent = imap().command("CAPABILITY", [this](const IMAPResponse& r) {
        if (!r.isStatus("OK")) {
            logFailure("CAPABILITY refused: " + r.text);
            fail();
            return;
        }
        if (!imap().capabilitiesKnown()) imap().setCapabilities({});
        logIn();
    });
    if (!sent) fail();
}

void IMAP_Auth::logIn() {
    if (imap().oauth()) {
        if (!client_->secured()) {
            logFailure("OAuth 2.0 sign-in not attempted over a connection without TLS: set the account's security");
            client_->closeSocket();
            fail();
            return;
        }
        mechanism_ = chooseBearerMechanism(imap().hasCapability("AUTH=OAUTHBEARER"),
                                           imap().hasCapability("AUTH=XOAUTH2"));
        if (mechanism_ == BearerMechanism::None) {
            logFailure("offers no login by AUTHENTICATE OAUTHBEARER or XOAUTH2");
            fail();
            return;
        }
        std::string response = bearerInitialResponse(mechanism_, imap().user(), client_->host(), client_->port(),
                                                     imap().password());
        if (response.empty()) {
            logFailure("no usable access token or user name");
            fail();
            return;
        }
        authenticate(bearerMechanismName(mechanism_), response, true);
        return;
    }
    if (!passwordMayTravel(client_->secured(), client_->peerIsLoopback()))
        logFailure("password sent without encryption: set the account's security");
    if (imap().hasCapability("AUTH=PLAIN")) {
        authenticate("PLAIN", base64Encode(std::string(1, '\0') + imap().user() + '\0' + imap().password()), false);
        return;
    }
    if (imap().hasCapability("LOGINDISABLED")) {
        logFailure("server refuses LOGIN and offers no AUTHENTICATE PLAIN");
        fail();
        return;
    }
    std::string user, pass;
    if (!quote(imap().user(), user) || !quote(imap().password(), pass)) {
        logFailure(
            "user name or password holds characters LOGIN cannot carry, and the server offers no AUTHENTICATE PLAIN");
        fail();
        return;
    }
    waitIn(state_WAIT_REPLY);
    if (!imap().command(
            "LOGIN " + user + " " + pass, [this](const IMAPResponse& r) { onLoginReply(r); }, true))
        fail();
}

void IMAP_Auth::authenticate(const std::string& mechanism, const std::string& initial, bool bearer) {
    bearer_ = bearer;
    answered_ = false;
    initial_ = initial;
    bool sent;
    auto done = [this](const IMAPResponse& r) { onLoginReply(r); };
    if (imap().hasCapability("SASL-IR")) {
        answered_ = true;
        sent = imap().command("AUTHENTICATE " + mechanism + " " + initial, done, true);
    } else {
        sent = imap().command("AUTHENTICATE " + mechanism, done);
    }
    waitIn(state_WAIT_CHALLENGE);
    if (!sent) fail();
}

void IMAP_Auth::onContinuation(const IMAPResponse&) {
    if (state_ != state_WAIT_CHALLENGE) return;
    client_->armTimeout();
    if (!answered_) {
        answered_ = true;
        if (!imap().sendContinuation(initial_)) fail();
        return;
    }
    // A challenge after the response carries the server's error report; the exchange ends
    // with our answer, and the refusal follows.
    std::string ack = bearer_ ? bearerErrorAcknowledgement(mechanism_) : std::string("*");
    if (!imap().sendContinuation(ack)) fail();
}

void IMAP_Auth::onLoginReply(const IMAPResponse& r) {
    initial_.clear();
    if (!r.isStatus("OK")) {
        if (imap().oauth()) {
            imap().noteTokenRefused();
            logFailure("refused the access token: " + r.text);
        } else {
            logFailure("-ve response to login : " + r.word(0) + " " + r.text);
        }
        fail();
        return;
    }
    DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to login :", r.text.c_str());
    // What the server offers may change with the login.
    if (r.code.compare(0, 10, "CAPABILITY") == 0) {
        imap().setCapabilitiesFromText(r.code);
        succeed();
        return;
    }
    imap().forgetCapabilities();
    waitIn(state_WAIT_REPLY);
    bool sent = imap().command("CAPABILITY", [this](const IMAPResponse&) {
        if (!imap().capabilitiesKnown()) imap().setCapabilities({});
        succeed();
    });
    if (!sent) fail();
}

void IMAP_Auth::succeed() {
    state_ = state_IDLE;
    if (owner()) owner()->loggedIn(true);
}

void IMAP_Auth::fail() {
    if (state_ == state_IDLE) return;
    state_ = state_IDLE;
    if (owner()) owner()->loggedIn(false);
}
