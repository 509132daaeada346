// The IMAP login: the greeting (TLS first when the account wants TLS from the first byte),
// the capabilities (from the greeting's code or CAPABILITY), STARTTLS where the account asks
// for it, then the log-in: with OAuth 2.0, AUTHENTICATE OAUTHBEARER or XOAUTH2 over TLS only;
// otherwise AUTHENTICATE PLAIN where the server offers it, else LOGIN. The capabilities are
// asked again after TLS and after the log-in unless a reply carried them. The owner hears
// loggedIn once. TLS that cannot be had fails the login before the user name goes out.
#pragma once

#include "imap/imap_client.h"
#include "net/sasl_bearer.h"

class IMAP_Auth : public IMAPPhase {
public:
    using IMAPPhase::IMAPPhase;
    enum State {
        state_IDLE = 0,
        state_WAIT_TLS = 1,
        state_WAIT_GREETING = 2,
        state_WAIT_REPLY = 3,  // a command's tagged reply
        state_WAIT_CHALLENGE = 4,
    };

    void start();
    int dispatch(Connection::Event event, long arg) override;
    void onUntagged(const IMAPResponse& r) override;
    void onContinuation(const IMAPResponse& r) override;
    void onBroken(const std::string& why) override;

private:
    void onSecured(bool ok);
    void afterGreeting();
    void askCapabilities();
    void logIn();
    void authenticate(const std::string& mechanism, const std::string& initial, bool bearer);
    void onLoginReply(const IMAPResponse& r);
    void succeed();
    void fail();

    bool greeted_ = false;
    bool preauth_ = false;
    bool bearer_ = false;
    bool answered_ = false;  // the SASL response went out
    std::string initial_;
    BearerMechanism mechanism_ = BearerMechanism::None;
};
