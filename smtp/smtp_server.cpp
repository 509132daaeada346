#include "smtp/smtp_server.h"

#include "shared/registry.h"

SMTPServer::SMTPServer(plat::HWND owner, Peers peers, const std::string& queueDirectory,
                       const NewOutgoingNotice* notice, LoginThrottle* logins)
    : Server(owner, peers), queueDirectory_(queueDirectory), notice_(notice),
      ownThrottle_(logins ? nullptr : std::make_unique<LoginThrottle>(window())) {
    senders_.ownerUid = plat::processUid();
    senders_.ownerOf = plat::peerOwner;
    senders_.accountsKey = kAccountsKey;
    senders_.throttle = logins ? logins : ownThrottle_.get();
}

SMTPServer::~SMTPServer() {
    endSessions();   // before the throttle they use goes
}

void SMTPServer::setOwnerLookup(PeerOwnerLookup lookup, std::uint32_t ownerUid) {
    senders_.ownerOf = std::move(lookup);
    senders_.ownerUid = ownerUid;
}

void SMTPServer::createSession(plat::SOCKET s) {
    // A change of the setting holds from the next connection on.
    LocalSenders senders = senders_;
    senders.everyone = config::readSetting(config::kLocalSmtpUsers) == 1;
    adoptSession(std::make_unique<SMTPServSess>(window(), s, queueDirectory_, notice_, std::move(senders)), "SMTP");
}

void SMTPServer::removeSession(Client* session) {
    dropSession(session, "SMTP");
}
