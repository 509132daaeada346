// The password check of a log-in to a local server (the POP3 server's USER and PASS, the SMTP
// server's AUTH): an account's title and the password the user's e-mail program logs in with
// (the account's "pass", or its "localpass" when it signs in to its provider with OAuth 2.0),
// wherever it is kept. A check waits for its turn of the throttle, and a refusal is answered
// only after the throttle's failure delay, so that passwords cannot be guessed at speed
// through either server.
//
// Callbacks run on the engine's thread; cancel (or destruction) drops whatever still waits,
// and nothing of it runs afterwards.
#pragma once

#include "oauth/stored_secret.h"
#include "pop3/login_throttle.h"

#include <functional>
#include <memory>
#include <string>

class LocalLogin {
public:
    // fromLoop: the callback runs from the loop (a throttle's timer, the secret store's
    // answer), not inside the call that started it.
    using Checked = std::function<void(bool matches, bool fromLoop)>;
    using Answer = std::function<void(bool fromLoop)>;

    // accountsKey: the registry key whose sub-keys are the accounts, by title. throttle: shared
    // by the sessions, outliving this; null checks and answers at once.
    LocalLogin(std::string accountsKey, LoginThrottle* throttle);
    ~LocalLogin();
    LocalLogin(const LocalLogin&) = delete;
    LocalLogin& operator=(const LocalLogin&) = delete;

    // Checks password against the account titled title (matched as the registry matches key
    // names) in the throttle's next turn; an empty title never matches. A check still waiting
    // is dropped.
    void check(const std::string& title, const std::string& password, Checked checked);
    // Runs answer after the failure delay; without a throttle at once, passing fromLoop on.
    void answerRefusal(bool fromLoop, Answer answer);
    void cancel();

private:
    void checkNow(const std::string& title, const std::string& password, const Checked& checked);

    std::string accountsKey_;
    LoginThrottle* throttle_;
    LoginThrottle::Ticket ticket_ = 0;  // the waiting turn or delayed answer
    std::unique_ptr<oauth::SecretRead> read_;  // a look-up in the secret store
};
