// The local POP3 server: the user's e-mail program collects the mail of an account from it,
// logging in with the account's title and password.
#pragma once

#include "net/server.h"
#include "pop3/login_throttle.h"

#include <memory>
#include <string>

class POPServer : public Server {
public:
    // accountsKey: the registry key whose sub-keys are the accounts, by title. logins: the
    // throttle shared with the other local server, outliving this; null: one of its own.
    POPServer(plat::HWND owner, Peers peers, const std::string& accountsKey, LoginThrottle* logins = nullptr);
    ~POPServer() override;

protected:
    void createSession(plat::SOCKET s) override;
    void removeSession(Connection* session) override;

private:
    std::string accountsKey_;
    // Paces the password checks of all sessions together.
    std::unique_ptr<LoginThrottle> ownThrottle_;
    LoginThrottle* throttle_;
};
