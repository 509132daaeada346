// The local SMTP server: e-mail programs on this machine hand their outgoing mail to it.
#pragma once

#include "net/server.h"
#include "pop3/login_throttle.h"
#include "smtp/smtp_serv_sess.h"

#include <functional>
#include <memory>
#include <string>

class SMTPServer : public Server {
public:
    // queueDirectory with its trailing "/" ("outgoing/"); onQueued runs each time an item has
    // joined the queue (may be empty). logins: the
    // throttle of log-ins shared with the local POP3 server, outliving this; null: one of its
    // own.
    SMTPServer(plat::HWND owner, Peers peers, const std::string& queueDirectory, std::function<void()> onQueued,
               LoginThrottle* logins = nullptr);
    ~SMTPServer() override;

    // Replaces how the user of a peer's socket is found and whose programs may send (tests).
    void setOwnerLookup(PeerOwnerLookup lookup, std::uint32_t ownerUid);
    // Replaces the registry key whose sub-keys are the accounts AUTH checks (tests).
    void setAccountsKey(const std::string& accountsKey) { senders_.accountsKey = accountsKey; }

protected:
    void createSession(plat::SOCKET s) override;
    void removeSession(Connection* session) override;

private:
    std::string queueDirectory_;
    std::function<void()> onQueued_;
    std::unique_ptr<LoginThrottle> ownThrottle_;
    plat::PeerOwners owners_;
    LocalSenders senders_;
};
