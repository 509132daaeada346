#include "smtp/smtp_server.h"

#include "config/settings_keys.h"

SMTPServer::SMTPServer(plat::HWND owner, Peers peers, const std::string& queueDirectory, std::function<void()> onQueued,
                       LoginThrottle* logins)
    : Server(owner, peers),
      queueDirectory_(queueDirectory),
      onQueued_(std::move(onQueued)),
      ownThrottle_(logins ? nullptr : std::make_unique<LoginThrottle>()) {
    senders_.ownerUid = plat::processUid();
    senders_.ownerOf = [this](plat::SOCKET s) { return owners_.find(s); };
    senders_.accountsKey = kAccountsKey;
    senders_.throttle = logins ? logins : ownThrottle_.get();
}

SMTPServer::~SMTPServer() {
    endSessions();  // before the throttle they use goes
}

void SMTPServer::setOwnerLookup(PeerOwnerLookup lookup, std::uint32_t ownerUid) {
    senders_.ownerOf = std::move(lookup);
    senders_.ownerUid = ownerUid;
}

void SMTPServer::createSession(plat::SOCKET s) {
    adoptSession(std::make_unique<SMTPServSess>(window(), s, queueDirectory_, onQueued_, senders_), "SMTP");
}

void SMTPServer::removeSession(Connection* session) {
    dropSession(session, "SMTP");
}
