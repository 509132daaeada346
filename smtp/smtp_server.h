// The local SMTP server: e-mail programs on this machine hand their outgoing mail to it.
#pragma once

#include "store/new_outgoing_notice.h"
#include "net/server.h"

#include <string>

class SMTPServer : public Server {
public:
    // queueDirectory with its trailing "/" ("outgoing/"); notice is not owned.
    SMTPServer(plat::HWND owner, Peers peers, const std::string& queueDirectory,
               const NewOutgoingNotice* notice);

protected:
    void createSession(plat::SOCKET s) override;
    void removeSession(Client* session) override;

private:
    std::string queueDirectory_;
    const NewOutgoingNotice* notice_;
};
